// What the programs print for --version: "NAME VERSION" and, where the build
// came from a git checkout, the description in brackets.
#pragma once

#include <string>

namespace platform {

std::string VersionLine(const char* programName);
// The version alone: "1.0.0 (fe30c3a)".
std::string VersionText();

}  // namespace platform
