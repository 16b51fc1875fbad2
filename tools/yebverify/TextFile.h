// Reads a small text file the verifier is told about (the parameter list,
// the run manifest) whole, through the platform, with the reason when it
// cannot: "cannot read the run manifest YEBFiles/run.json: does not exist".
//
// Thread safety: a pure function of the file.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Status.h"

namespace yebverify {

// `what` names the file's role in messages ("parameter list"). A file
// larger than `maxBytes` is refused before it is read.
platform::Status ReadTextFile(const std::string& path, const char* what, uint64_t maxBytes,
                              std::string& text);

}  // namespace yebverify
