// Feeds arbitrary bytes to the signals file parser and checks what a file
// that is accepted must hold: rules within the limits and ranges, each with
// a line number inside the text, and values that can be worked out for any
// sample without a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "packet/SignalRules.h"
#include "packet/SignalValues.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  packet::SignalsFile file;
  const platform::Status parsed = packet::ParseSignals(text, &file);
  if (!parsed.ok()) {
    if (parsed.message().empty()) std::abort();
    return 0;
  }
  if (file.rules.size() > packet::kMaxSignalRules) std::abort();
  for (const packet::SignalRule& rule : file.rules) {
    if (rule.line < 1 || static_cast<size_t>(rule.line) > size || rule.text.empty()) std::abort();
    if (!(rule.period > 0) || !(rule.hold > 0) || rule.max < rule.min || rule.duty < 0 ||
        rule.duty > 1) {
      std::abort();
    }
    if (rule.pattern == packet::SignalPattern::kCounter) continue;
    if (rule.pattern == packet::SignalPattern::kSteps && rule.values.empty()) std::abort();
    for (double rate : {0.1, 50.0, 3000.0}) {
      for (uint64_t n : {uint64_t{0}, uint64_t{7}, uint64_t{1} << 40, ~uint64_t{0}}) {
        volatile float value = packet::SignalValue(rule, rate, 3, n);
        (void)value;
      }
    }
  }
  return 0;
}
