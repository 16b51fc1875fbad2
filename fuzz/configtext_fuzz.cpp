// Arbitrary bytes as a plain configuration file: the loader must refuse or
// load them without a fault, and whatever loads must save and load again to
// the same tree.
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

#ifdef YEB_FUZZ_REPLAY
namespace {

std::string ScratchPath(const char* name) {
  static const std::string folder = ScratchFolder("configtext_fuzz");
  return folder + "/" + name;
}

}  // namespace
#endif

namespace {

void LoadSaveAndLoadAgain(const uint8_t* data, size_t size) {
  tConfigSource source;
  tConfigSource again;
  StringTextSink first;
#ifdef YEB_FUZZ_REPLAY
  // The replay goes through files, so the file path stays covered.
  const std::string path = ScratchPath("input.config");
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  if (source.LoadAttributesFromFile(path.c_str(), 0, nullptr, nullptr) == nullptr) return;
  WriteConfigTree(source.Root(), first);
  const std::string saved = ScratchPath("saved.config");
  if (source.Save(saved.c_str(), 0, 2, 0) != S_OK) std::abort();
  if (again.LoadAttributesFromFile(saved.c_str(), 0, nullptr, nullptr) == nullptr) std::abort();
#else
  // Fuzzing stays in memory: a file write and an fsync per input would
  // hold it to a hundred inputs a second.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (source.LoadAttributesFromText(text) == nullptr) return;
  WriteConfigTree(source.Root(), first);
  if (again.LoadAttributesFromText(first.text) == nullptr) std::abort();
#endif
  StringTextSink second;
  WriteConfigTree(again.Root(), second);
  if (first.text != second.text) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    platform::SetDebugSink([](std::string_view) {});
    return true;
  }();
  (void)quiet;
  LoadSaveAndLoadAgain(data, size);
  FreeReleasedTrees();
  return 0;
}
