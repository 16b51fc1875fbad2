// Reading the small line-oriented scripts a run is given (the fault script,
// the signals file): words split at blanks, plain decimals, keywords
// matched without regard to case, and the file read whole under a size cap.
//
// Thread safety: pure functions (ReadScriptFile reads a file).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace io {

// Blank within a line: space, \t, \r, \v, \f.
bool IsScriptBlank(char c);
std::string_view TrimScriptLine(std::string_view line);
std::vector<std::string_view> ScriptWords(std::string_view line);

// A plain decimal: digits, a sign, a point and an exponent only, so that
// hexadecimal floats, "inf" and "nan" are refused as well as stray bytes;
// the value must be finite as a double.
bool ReadScriptDecimal(std::string_view word, double* value);

// `word` equals `lowercase` ignoring the case of ASCII letters.
bool ScriptWordIs(std::string_view word, std::string_view lowercase);

// Reads a regular file of at most `maxBytes` bytes into `text`. A failure's
// message is the reason without the path, which the caller names.
platform::Status ReadScriptFile(const std::string& path, size_t maxBytes, std::string* text);

}  // namespace io
