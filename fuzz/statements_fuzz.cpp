// Arbitrary statement scripts against a small configuration: no fault, no
// hang, and a tree that still saves and loads back unchanged.
#include <cstdlib>

#include "ReleasedTrees.h"
#include "ScratchFolder.h"
#include "StatementScript.h"
#include "platform/DebugOutput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = [] {
    platform::SetDebugSink([](std::string_view) {});
#ifdef YEB_FUZZ_REPLAY
    return ScratchFolder("statements_fuzz");  // the replay keeps the file path covered
#else
    return std::string();
#endif
  }();
  if (!statementscript::Run(folder, data, size)) std::abort();
  FreeReleasedTrees();
  return 0;
}
