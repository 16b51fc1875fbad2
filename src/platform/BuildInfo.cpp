#include "platform/BuildInfo.h"

#include "yeb/Version.h"

namespace platform {

std::string VersionText() {
  std::string text = yeb::kVersion;
  if (yeb::kGitDescription[0] != '\0') {
    text += " (";
    text += yeb::kGitDescription;
    text += ")";
  }
  return text;
}

std::string VersionLine(const char* programName) {
  return std::string(programName) + " " + VersionText() + "\n";
}

}  // namespace platform
