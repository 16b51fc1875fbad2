// The lines under an error line that say why it happened: the reason of a
// Status, and the template library's diagnostics kept while a step ran
// (platform::DiagnosticsCapture). Each line is indented by two blanks, so the
// quoted error line above stays the one a reader looks for.
//
// Thread safety: main thread only, like the rest of the console output.
#pragma once

#include <string>
#include <vector>

#include "platform/Status.h"
#include "platform/TextOut.h"

namespace driver {

// Nothing for a success.
void PrintReason(platform::TextOut& out, const platform::Status& reason);
// Every line of every message, in order; blank lines are left out.
void PrintDiagnostics(platform::TextOut& out, const std::vector<std::string>& messages);

}  // namespace driver
