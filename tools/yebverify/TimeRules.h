// The Custom source's millisecond time words across packets and transfers.
//
// Within a transfer each packet's first time sample continues the previous
// packet's (the last sample + 1). The time options add two allowed breaks:
// with the jump option, every tenth one-second cycle of a transfer the time
// leaps 15 s ahead (150,000 units of 100 us), so jumps come exactly
// 10 x packetRate packets apart and the first within the first
// 10 x packetRate packets; with the gap option, a cycle whose time text
// contains "5:" doubles the time. A transfer starts at 0, or with the jump
// option at 0 or 15 s, or with the gap option at twice the time the tool
// had reached (unknown on the first connection, where any start is taken).
//
// Thread safety: one object per checker, used from one thread.
#pragma once

#include <cstdint>
#include <string>

namespace yebverify {

struct TimeOptions {
  bool jump = false;
  bool gap = false;
  // The tool serves several connections at once, so the first connection
  // may come while a transfer runs: its first time word is then taken as
  // it is, not held to a transfer's start.
  bool mayJoinLate = false;
};

inline constexpr uint32_t kTimeJumpTicks = 150000;

// Nanoseconds as "ddd:hh:mm:ss.mmm" (the day field at least three digits).
std::string FormatDataTime(int64_t ns);
// The data time the tool shows for a Custom time tick: one day + tick x 100 us.
inline int64_t CustomDataTimeNs(uint32_t tick) {
  return 86'400'000'000'000 + static_cast<int64_t>(tick) * 100'000;
}

class CustomTimeRules {
 public:
  CustomTimeRules(TimeOptions options, int packetRate, int timeValuesPerPacket)
      : options_(options), packetRate_(packetRate), timeValuesPerPacket_(timeValuesPerPacket) {}

  // A new connection; `lostPackets` packets were built since the last one
  // this checker saw (ignored on the first connection).
  void BeginConnection(uint64_t lostPackets);
  // Checks the first time sample of the next packet. On failure `expected`
  // describes what was allowed.
  bool CheckFirst(uint32_t first, std::string& expected);
  // Records the tick after the packet's last sample (its last sample + 1).
  // After a failed CheckFirst, both readings are kept for the next packet.
  void EndPacket(uint32_t nextTick);
  // `packets` packets of this connection were built but never arrived.
  void SkipPackets(uint64_t packets) {
    nextTick_ += static_cast<uint32_t>(packets * static_cast<uint64_t>(timeValuesPerPacket_));
    packetsInConnection_ += packets;
  }
  // After a failed CheckFirst inside a connection: whether the failure was a
  // plain break in the time (not a rule of the time options), and the tick
  // that was due.
  bool InConnection() const { return packetsInConnection_ > 0; }
  bool LastWasBreak() const { return lastFailed_; }
  uint32_t dueTick() const { return nextTick_; }
  // The first packet of the run came from a transfer already running.
  bool JoinedLate() const { return joinedLate_; }
  // True while the packet before kept two readings and `first` follows the
  // one it found rather than the one that was due.
  bool FollowsShift(uint32_t first) const { return shiftedValid_ && first == shiftedTick_; }

 private:
  bool JumpDue() const;

  TimeOptions options_;
  int packetRate_;
  int timeValuesPerPacket_;
  bool seenAny_ = false;
  bool joinedLate_ = false;
  bool startKnown_ = false;
  uint32_t startAfterGap_ = 0;
  uint32_t nextTick_ = 0;
  uint64_t packetsInConnection_ = 0;
  bool jumped_ = false;
  uint64_t lastJumpAt_ = 0;
  bool missedJumpReported_ = false;
  // After a wrong first word the next packet may continue from the expected
  // time (a one-off glitch) or from the time found (a lasting shift).
  bool lastFailed_ = false;
  uint32_t expectedNext_ = 0;
  bool shiftedValid_ = false;
  uint32_t shiftedTick_ = 0;
};

}  // namespace yebverify
