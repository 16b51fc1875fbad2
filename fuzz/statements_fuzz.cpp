// Arbitrary statement scripts against a small configuration: no fault, no
// hang, and a tree that still saves and loads back unchanged.
#include <unistd.h>

#include <cstdlib>

#include "StatementScript.h"
#include "platform/DebugOutput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = [] {
    platform::SetDebugSink([](std::string_view) {});
    char pattern[] = "/tmp/statements_fuzz.XXXXXX";
    const char* made = mkdtemp(pattern);
    return std::string(made != nullptr ? made : "/tmp");
  }();
  if (!statementscript::Run(folder, data, size)) std::abort();
  return 0;
}
