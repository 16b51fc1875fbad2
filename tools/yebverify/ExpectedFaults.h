// The faults a fault script makes the stress tool inject, worked out packet
// by packet, and matched against the faults the checker observes.
//
// The tool fires an event at the first packet of a transfer whose ideal due
// time is at or after the event's time. Packets are numbered g = 1, 2, ...
// from the tool's start; a one-second cycle ends after packet g when
// g mod N == N - 1 (N packets per second), packets of a cycle are one
// period apart and each cycle starts one second after the last. From a
// transfer's first packet g0 every packet's due time follows, and so does
// the packet of every event. Each event's packet is then predicted by the
// tool's own rules: a drop or stall withholds packets, and a duplicate,
// corruption or truncation waiting on a withheld packet moves to the next
// packet sent. An observation matches an event of its kind due within one
// packet of it whose size (packets dropped, copies, bytes, time) agrees.
//
// What the receiver sees of each action:
//   drop N, stall MS  dropped: packets missing inside a connection (the two
//                     look the same on the wire; the size tells them apart)
//   duplicate N       duplicated: N copies of a packet
//   corrupt           corrupted: one sample one bit off
//   truncate B        truncated: the stream ends B bytes into a packet (or,
//                     for B = 0 or a whole packet, disconnected)
//   disconnect        disconnected: the stream ends at a packet boundary
//   timejump S        time-jump: the data time shifts by S inside a transfer
//
// Thread safety: one object per verifier, used from one thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Failures.h"
#include "io/FaultScript.h"

namespace yebverify {

// An expected fault that came: its kind, the tool's packet it came at, and
// the script line that made it.
struct MatchedFault {
  FailureKind kind;
  uint64_t packet;
  int32_t line;
  std::string event;  // the script line as written
  // "dropped at packet 57: line 3 (1.5 drop 3)"
  std::string Text() const;
};

// Faults the checker observes go first to a matcher, when there is one.
class FaultMatcher {
 public:
  virtual ~FaultMatcher() = default;
  // The first packet of a connection, which is the first of a transfer.
  virtual void BeginTransfer(uint64_t firstPacket) = 0;
  // True when an expected event accounts for the fault; it is then used up.
  virtual bool Accept(FailureKind kind, uint64_t packet, int64_t amount) = 0;
  // True when a disconnect or truncation is expected at `packet`.
  virtual bool ExpectsEnd(uint64_t packet) const = 0;
};

class ExpectedFaults final : public FaultMatcher {
 public:
  // `timeStepNs` is the size of a time step in the amounts of time-jump
  // observations: 100,000 for Custom ticks, 1 for NEP nanoseconds.
  ExpectedFaults(const io::FaultScript& script, int packetRate, int64_t timeStepNs);

  void BeginTransfer(uint64_t firstPacket) override;
  bool Accept(FailureKind kind, uint64_t packet, int64_t amount) override;
  bool ExpectsEnd(uint64_t packet) const override;

  // The events of the current transfer that were due by `lastPacket` (the
  // last packet the connection delivered) and were not seen, one line each;
  // they are then forgotten.
  std::vector<std::string> EndTransfer(uint64_t lastPacket);
  // Every match so far, in the order seen.
  const std::vector<MatchedFault>& matched() const { return matched_; }
  // Every line EndTransfer returned so far.
  const std::vector<std::string>& missed() const { return missed_; }

  // The packet of a transfer starting at `firstPacket` that an event at
  // `atNs` lands on (exposed for tests).
  static uint64_t PacketAt(uint64_t firstPacket, int64_t atNs, int packetRate);

 private:
  struct Due {
    const io::FaultEvent* event;
    uint64_t packet;
    int64_t amount;  // what the observation must measure, or -1 for anything
    bool seen = false;
  };

  const io::FaultScript& script_;
  int packetRate_;
  int64_t timeStepNs_;
  std::vector<Due> due_;
  std::vector<MatchedFault> matched_;
  std::vector<std::string> missed_;
};

}  // namespace yebverify
