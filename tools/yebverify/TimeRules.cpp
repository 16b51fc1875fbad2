#include "TimeRules.h"

#include <cinttypes>
#include <cstdio>

namespace yebverify {

std::string FormatDataTime(int64_t ns) {
  constexpr int64_t kDayNs = 86'400'000'000'000;
  int64_t days = ns / kDayNs;
  int64_t r = ns % kDayNs;
  char text[64];
  std::snprintf(
      text, sizeof text, "%03d:%02d:%02d:%02d.%03d", static_cast<int>(static_cast<uint32_t>(days)),
      static_cast<int>(r / 3'600'000'000'000 % 24), static_cast<int>(r / 60'000'000'000 % 60),
      static_cast<int>(r / 1'000'000'000 % 60), static_cast<int>(r % 1'000'000'000 / 1'000'000));
  return text;
}

void CustomTimeRules::BeginConnection(uint64_t lostPackets) {
  if (seenAny_) {
    startKnown_ = true;
    startAfterGap_ = 2u * (nextTick_ + static_cast<uint32_t>(lostPackets * timeValuesPerPacket_));
  }
  packetsInConnection_ = 0;
  shiftedValid_ = false;
  jumped_ = false;
  missedJumpReported_ = false;
}

bool CustomTimeRules::JumpDue() const {
  const uint64_t period = 10ull * static_cast<uint64_t>(packetRate_);
  return jumped_ ? packetsInConnection_ - lastJumpAt_ == period : packetsInConnection_ <= period;
}

bool CustomTimeRules::CheckFirst(uint32_t first, std::string& expected) {
  lastFailed_ = false;
  if (packetsInConnection_ == 0) {
    // The tool starts a transfer at 15 s when its jump toggle is set, else
    // at twice the time reached under the gap option, else at 0.
    bool ok;
    if (options_.gap) {
      ok = !startKnown_ || first == startAfterGap_;
      expected = startKnown_ ? std::to_string(startAfterGap_) : std::string("any");
    } else {
      ok = first == 0;
      expected = std::to_string(0);
    }
    if (options_.jump) {
      ok = ok || first == kTimeJumpTicks;
      expected += " or " + std::to_string(kTimeJumpTicks);
    }
    if (!ok && !seenAny_ && options_.mayJoinLate) joinedLate_ = true;
    return ok || joinedLate_;
  }
  const uint32_t t = nextTick_;
  expected = std::to_string(t);
  if (shiftedValid_ && first == shiftedTick_) return true;
  if (first == t) {
    if (options_.jump && !missedJumpReported_) {
      const uint64_t period = 10ull * static_cast<uint64_t>(packetRate_);
      bool overdue =
          jumped_ ? packetsInConnection_ - lastJumpAt_ > period : packetsInConnection_ > period;
      if (overdue) {
        missedJumpReported_ = true;
        expected +=
            " + " + std::to_string(kTimeJumpTicks) + " (the jump every 10 cycles did not come)";
        return false;
      }
    }
    return true;
  }
  const bool doubles =
      options_.gap && FormatDataTime(CustomDataTimeNs(t)).find("5:") != std::string::npos;
  if (doubles && first == 2u * t) return true;
  if (options_.jump &&
      (first == t + kTimeJumpTicks || (doubles && first == 2u * t + kTimeJumpTicks))) {
    bool due = JumpDue();
    jumped_ = true;
    lastJumpAt_ = packetsInConnection_;
    if (due) return true;
    expected += " (a 15 s jump is allowed only every 10 cycles)";
    return false;
  }
  lastFailed_ = true;
  expectedNext_ = t + static_cast<uint32_t>(timeValuesPerPacket_);
  return false;
}

void CustomTimeRules::EndPacket(uint32_t nextTick) {
  shiftedValid_ = lastFailed_;
  shiftedTick_ = nextTick;
  nextTick_ = lastFailed_ ? expectedNext_ : nextTick;
  lastFailed_ = false;
  seenAny_ = true;
  ++packetsInConnection_;
}

}  // namespace yebverify
