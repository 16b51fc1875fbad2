// Arbitrary bytes as a configuration archive: the archive loader must refuse
// or load them without a fault and without trusting sizes the archive
// declares. The replay of the corpus also saves what loads as an archive
// and loads it again to the same tree.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ReleasedTrees.h"
#include "ScratchFolder.h"
#include "platform/DebugOutput.h"
#include "templatelib/ConfigFileWriter.h"
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
    if (source.LoadAttributesFromFile(path.c_str(), 0, nullptr, nullptr) != nullptr) {
#ifdef YEB_FUZZ_REPLAY
      // Saving is a zip write and an fsync: kept to the replay, where it is
      // a few hundred inputs, out of the fuzzing loop.
      StringTextSink first;
      WriteConfigTree(source.Root(), first);
      const std::string saved = path.substr(0, path.size() - 4) + "-saved.zip";
      if (source.Save(saved.c_str(), 0, 2, 0) != S_OK) std::abort();
      tConfigSource again;
      if (again.LoadAttributesFromFile(saved.c_str(), 0, nullptr, nullptr) == nullptr) std::abort();
      StringTextSink second;
      WriteConfigTree(again.Root(), second);
      if (first.text != second.text) std::abort();
#endif
    }
  }
  FreeReleasedTrees();
  return 0;
}
