// Arbitrary bytes as a configuration archive: the archive loader must refuse
// or load them without a fault and without trusting sizes the archive
// declares.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "ReleasedTrees.h"
#include "ScratchFolder.h"
#include "platform/DebugOutput.h"
#include "templatelib/tConfigSource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    platform::SetDebugSink([](std::string_view) {});
    return ScratchFolder("configarchive_fuzz") + "/input.zip";
  }();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  {
    tConfigSource source;
    source.LoadAttributesFromFile(path.c_str(), 0, nullptr, nullptr);
  }
  FreeReleasedTrees();
  return 0;
}
