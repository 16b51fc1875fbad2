#include "platform/BuildInfo.h"

#include "yeb/Version.h"

namespace platform {

std::string VersionLine(const char* programName) {
  std::string line = programName;
  line += " ";
  line += yeb::kVersion;
  if (yeb::kGitDescription[0] != '\0') {
    line += " (";
    line += yeb::kGitDescription;
    line += ")";
  }
  line += "\n";
  return line;
}

}  // namespace platform
