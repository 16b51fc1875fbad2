// Timing of the packets as they arrive: counts, bytes, the achieved packet
// rate, the time between packets and how late each packet is against the
// tool's own schedule.
//
// The tool paces in one-second cycles of packet-rate packets: the first
// cycle after it starts is one packet short, and every cycle, short or not,
// is held to a second. A schedule started at the first packet and advanced
// one period per packet would call every packet after that first cycle one
// period late. So the schedule starts again at the first packet of each of
// the tool's cycles (known from the tool's packet number: a cycle begins
// with every packet-rate-th packet, and with each connection), which is due
// one second after the first packet of the cycle before; the packets after
// it are due one period apart. A stream on pace then shows lateness near
// 0, and a stall shows its length in the packets it held back.
//
// The steady rate leaves out what the cycles make of a transfer's start: a
// transfer that starts in the middle of one of the tool's cycles sends the
// rest of it (say 47 packets) and then holds the cycle to its second, so
// the rate over the transfer reads low although every packet went out on
// time. A hold only comes at the end of a cycle, so the steady rate counts
// each connection from the first packet of its first whole cycle (the first
// cycle boundary it reaches) to its last arrival, or the whole connection
// when it ends before any boundary (it saw no hold).
//
// Durations go into a histogram with exact microsecond buckets below
// 2,048 us and 1/1024 relative precision above, so hours of packets take a
// fixed few kilobytes and percentiles stay within 0.1 %.
//
// Thread safety: one object per verifier, used from one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace yebverify {

class DurationHistogram {
 public:
  DurationHistogram();
  void Add(int64_t ns);
  void Clear();
  uint64_t count() const { return count_; }
  int64_t maxNs() const { return maxNs_; }
  // The q-quantile (0 < q <= 1) in nanoseconds; 0 when empty.
  int64_t QuantileNs(double q) const;

 private:
  static size_t BucketOf(uint64_t us);
  static uint64_t BucketLowUs(size_t bucket);

  std::vector<uint64_t> buckets_;
  uint64_t count_ = 0;
  int64_t maxNs_ = 0;
};

struct TimingFigures {
  uint64_t packets = 0;
  uint64_t bytes = 0;
  double seconds = 0.0;  // from the first to the last arrival
  double packetRate = 0.0;
  // Total() only: packets per second over the whole cycles of each
  // connection, and the seconds that measured it.
  double steadyRate = 0.0;
  double steadySeconds = 0.0;
  int64_t gapMedianNs = 0, gapP99Ns = 0, gapMaxNs = 0;
  int64_t lateMedianNs = 0, lateP99Ns = 0, lateMaxNs = 0;
};

class ArrivalStats {
 public:
  explicit ArrivalStats(int nominalRate)
      : rate_(static_cast<uint64_t>(nominalRate)), periodNs_(1'000'000'000 / nominalRate) {}

  // The next packet starts a new schedule (a new connection).
  void BeginConnection();
  // `packetNumber`: the tool's number of the packet, counted from 1 at the
  // tool's start (the Custom sequence number).
  void AddPacket(int64_t arrivalNs, uint64_t bytes, uint64_t packetNumber);

  // The lateness of the packet added last.
  int64_t lastLateNs() const { return lastLateNs_; }
  // Since the start of the run.
  TimingFigures Total() const;
  // Since the last TakeWindow (and resets the window).
  TimingFigures TakeWindow();

 private:
  struct Counts {
    uint64_t packets = 0;
    uint64_t bytes = 0;
    int64_t firstNs = 0;
    int64_t lastNs = 0;
    uint64_t ratePackets = 0;  // packets after the first one of each connection
    int64_t rateNs = 0;        // time those packets span
  };
  static TimingFigures Figures(const Counts& counts, const DurationHistogram& gaps,
                               const DurationHistogram& late);

  uint64_t rate_;
  int64_t periodNs_;
  uint64_t connectionPackets_ = 0;
  int64_t cycleStartNs_ = 0;       // arrival of the first packet of the current tool cycle
  uint64_t cycleStartPacket_ = 0;  // its packet number
  int64_t previousNs_ = 0;
  int64_t lastLateNs_ = 0;
  Counts total_, window_;
  // The steady rate: the connections before this one, and this one from
  // its anchor (its first cycle boundary, or its first packet).
  uint64_t steadyPackets_ = 0, connectionSteadyPackets_ = 0;
  int64_t steadyNs_ = 0, connectionSteadyNs_ = 0;
  uint64_t connectionFirstPacket_ = 0;
  bool steadyAnchored_ = false;  // the anchor is a cycle boundary
  DurationHistogram totalGaps_, totalLate_, windowGaps_, windowLate_;
};

}  // namespace yebverify
