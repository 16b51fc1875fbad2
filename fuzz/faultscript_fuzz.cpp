// Feeds arbitrary bytes to the fault script parser and checks what a script
// that is accepted must hold: events within the limits, in time order, each
// with a line number inside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "io/FaultScript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  io::FaultScript script;
  const platform::Status parsed = io::ParseFaultScript(text, &script);
  if (!parsed.ok()) {
    if (parsed.message().empty()) std::abort();
    return 0;
  }
  if (script.events.size() > io::kMaxFaultEvents) std::abort();
  int64_t last = 0;
  for (const io::FaultEvent& e : script.events) {
    if (e.atNs < last || e.line < 1 || static_cast<size_t>(e.line) > size || e.text.empty()) {
      std::abort();
    }
    last = e.atNs;
  }
  return 0;
}
