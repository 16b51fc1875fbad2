// A folder of the fuzz target's own under the temporary folder, one per
// process so that parallel fuzzing jobs never write each other's files.
#pragma once

#include <string>

#include "platform/System.h"

inline std::string ScratchFolder(const char* target) {
  std::string folder =
      platform::TempFolder() + target + "." + std::to_string(platform::ProcessId());
  platform::CreateOneDirectory(folder);  // false when it is there already: fine
  return folder;
}
