#include "StreamGuess.h"

#include <algorithm>

#include "ByteOrder.h"

namespace yebverify {
namespace {

constexpr size_t kGreetingBytes = 5;
constexpr size_t kCustomTimePairs = 44;  // from the size word
constexpr size_t kEntryBytes = 12;       // a Custom pair or a NEP time entry

// 10000 time values a second: the rate whose packets hold `values`.
std::optional<int> RateFor(size_t values) {
  for (int rate : {50, 100, 200}) {
    if (values == static_cast<size_t>(10000 / rate)) return rate;
  }
  return std::nullopt;
}

}  // namespace

std::optional<StreamShape> GuessStreamShape(const uint8_t* bytes, size_t size) {
  static constexpr uint8_t kGreeting[kGreetingBytes] = {0x01, 0, 0, 0, 0};
  if (size >= kGreetingBytes + kCustomTimePairs + kEntryBytes &&
      std::equal(kGreeting, kGreeting + kGreetingBytes, bytes)) {
    const uint8_t* pairs = bytes + kGreetingBytes + kCustomTimePairs;
    const size_t room = (size - kGreetingBytes - kCustomTimePairs) / kEntryBytes;
    const uint16_t tag = ReadLe16(pairs);
    size_t count = 0;
    // The run ends at the first pair of another tag; a run that fills
    // every byte received may go on, and tells nothing.
    while (count < room && ReadLe16(pairs + count * kEntryBytes) == tag &&
           ReadLe16(pairs + count * kEntryBytes + 2) == tag) {
      ++count;
    }
    if (count == room) return std::nullopt;
    if (std::optional<int> rate = RateFor(2 * count)) {
      return StreamShape{SourceKind::kCustom, *rate, false};
    }
    return std::nullopt;
  }
  if (size >= 4 + kEntryBytes && (ReadLe32(bytes + 4) & 0x80000000u) != 0) {
    const uint32_t tag = ReadLe32(bytes + 4);
    const size_t room = (size - 4) / kEntryBytes;
    size_t count = 0;
    while (count < room && ReadLe32(bytes + 4 + count * kEntryBytes) == tag) ++count;
    if (count == room) return std::nullopt;
    if (std::optional<int> rate = RateFor(count))
      return StreamShape{SourceKind::kNep, *rate, false};
  }
  return std::nullopt;
}

std::string MismatchHint(const StreamShape& told, const StreamShape& seen) {
  const std::string rate = std::to_string(seen.packetRate);
  if (seen.source != told.source) {
    const bool nep = seen.source == SourceKind::kNep;
    std::string hint = std::string("this looks like a ") + (nep ? "NEP" : "Custom") + " stream";
    std::string option = nep ? "--source nep" : "--source custom";
    if (seen.packetRate != told.packetRate) {
      hint += " at " + rate + " packets/s";
      option += " --packet-rate " + rate;
    }
    return hint + ": try " + option + " or --manifest";
  }
  if (seen.packetRate != told.packetRate) {
    return "this looks like a stream at " + rate + " packets/s: try --packet-rate " + rate +
           " or --manifest";
  }
  return {};
}

}  // namespace yebverify
