// What the programs print for --version: "NAME VERSION" and, where the build
// came from a git checkout, the description in brackets.
#pragma once

#include <string>

namespace platform {

std::string VersionLine(const char* programName);

}  // namespace platform
