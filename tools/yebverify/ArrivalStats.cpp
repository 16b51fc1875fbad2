#include "ArrivalStats.h"

#include <algorithm>
#include <cmath>

namespace yebverify {
namespace {

constexpr uint64_t kExactLimitUs = 2048;           // buckets below are one microsecond wide
constexpr int kMantissaBits = 10;                  // 1024 buckets per power of two above
constexpr uint64_t kLargestUs = (1ull << 40) - 1;  // about 12 days; longer waits count as this
constexpr int64_t kCycleNs = 1'000'000'000;        // the tool holds every cycle to a second

}  // namespace

DurationHistogram::DurationHistogram() : buckets_(BucketOf(kLargestUs) + 1, 0) {}

size_t DurationHistogram::BucketOf(uint64_t us) {
  if (us < kExactLimitUs) return static_cast<size_t>(us);
  const int exponent = 63 - __builtin_clzll(us);  // >= 11
  const uint64_t mantissa = (us >> (exponent - kMantissaBits)) & ((1u << kMantissaBits) - 1);
  return static_cast<size_t>(
      kExactLimitUs + static_cast<uint64_t>(exponent - 11) * (1u << kMantissaBits) + mantissa);
}

uint64_t DurationHistogram::BucketLowUs(size_t bucket) {
  if (bucket < kExactLimitUs) return bucket;
  const uint64_t above = bucket - kExactLimitUs;
  const int exponent = static_cast<int>(above >> kMantissaBits) + 11;
  const uint64_t mantissa = above & ((1u << kMantissaBits) - 1);
  return (1ull << exponent) | (mantissa << (exponent - kMantissaBits));
}

void DurationHistogram::Add(int64_t ns) {
  if (ns < 0) ns = 0;
  ++buckets_[BucketOf(std::min(static_cast<uint64_t>(ns) / 1000, kLargestUs))];
  ++count_;
  if (ns > maxNs_) maxNs_ = ns;
}

void DurationHistogram::Clear() {
  std::fill(buckets_.begin(), buckets_.end(), 0);
  count_ = 0;
  maxNs_ = 0;
}

int64_t DurationHistogram::QuantileNs(double q) const {
  if (count_ == 0) return 0;
  uint64_t rank = static_cast<uint64_t>(std::ceil(q * static_cast<double>(count_)));
  if (rank < 1) rank = 1;
  if (rank >= count_) return maxNs_;  // the largest is known exactly
  uint64_t seen = 0;
  for (size_t b = 0; b < buckets_.size(); ++b) {
    seen += buckets_[b];
    if (seen >= rank) {
      const int64_t ns = static_cast<int64_t>(BucketLowUs(b)) * 1000;
      return ns < maxNs_ ? ns : maxNs_;
    }
  }
  return maxNs_;
}

void ArrivalStats::BeginConnection() {
  connectionPackets_ = 0;
  steadyPackets_ += connectionSteadyPackets_;
  steadyNs_ += connectionSteadyNs_;
  connectionSteadyPackets_ = 0;
  connectionSteadyNs_ = 0;
}

TimingFigures ArrivalStats::Total() const {
  TimingFigures f = Figures(total_, totalGaps_, totalLate_);
  const int64_t ns = steadyNs_ + connectionSteadyNs_;
  f.steadySeconds = static_cast<double>(ns) / 1e9;
  if (ns > 0) {
    f.steadyRate = static_cast<double>(steadyPackets_ + connectionSteadyPackets_) * 1e9 /
                   static_cast<double>(ns);
  }
  return f;
}

void ArrivalStats::AddPacket(int64_t arrivalNs, uint64_t bytes, uint64_t packetNumber) {
  if (connectionPackets_ == 0) {
    connectionFirstPacket_ = packetNumber;
    steadyAnchored_ = packetNumber % rate_ == 0;
  } else if (!steadyAnchored_ && packetNumber / rate_ > connectionFirstPacket_ / rate_) {
    // The first whole cycle starts here: what came before may end in a hold.
    steadyAnchored_ = true;
    connectionSteadyPackets_ = 0;
    connectionSteadyNs_ = 0;
  } else {
    ++connectionSteadyPackets_;
    connectionSteadyNs_ += arrivalNs - previousNs_;
  }
  for (Counts* c : {&total_, &window_}) {
    if (c->packets == 0) c->firstNs = arrivalNs;
    ++c->packets;
    c->bytes += bytes;
    c->lastNs = arrivalNs;
  }
  if (connectionPackets_ > 0) {
    const int64_t gap = arrivalNs - previousNs_;
    totalGaps_.Add(gap);
    windowGaps_.Add(gap);
    for (Counts* c : {&total_, &window_}) {
      ++c->ratePackets;
      c->rateNs += gap;
    }
  }
  int64_t late = 0;
  if (connectionPackets_ == 0 || packetNumber <= cycleStartPacket_) {
    // A new connection starts a cycle of the tool's; so does a packet
    // number that went back, which only a faulty stream has.
    cycleStartNs_ = arrivalNs;
    cycleStartPacket_ = packetNumber;
  } else {
    // Packet n is in the tool's cycle n / rate (the first cycle, 1 to
    // rate - 1, is the short one).
    const uint64_t cycles = packetNumber / rate_ - cycleStartPacket_ / rate_;
    if (cycles > 0) {
      late = arrivalNs - (cycleStartNs_ + static_cast<int64_t>(cycles) * kCycleNs);
      cycleStartNs_ = arrivalNs;
      cycleStartPacket_ = packetNumber;
    } else {
      late = arrivalNs -
             (cycleStartNs_ + static_cast<int64_t>(packetNumber - cycleStartPacket_) * periodNs_);
    }
  }
  totalLate_.Add(late);
  windowLate_.Add(late);
  lastLateNs_ = late;
  previousNs_ = arrivalNs;
  ++connectionPackets_;
}

TimingFigures ArrivalStats::TakeWindow() {
  TimingFigures f = Figures(window_, windowGaps_, windowLate_);
  window_ = Counts();
  windowGaps_.Clear();
  windowLate_.Clear();
  return f;
}

TimingFigures ArrivalStats::Figures(const Counts& counts, const DurationHistogram& gaps,
                                    const DurationHistogram& late) {
  TimingFigures f;
  f.packets = counts.packets;
  f.bytes = counts.bytes;
  f.seconds = static_cast<double>(counts.lastNs - counts.firstNs) / 1e9;
  if (counts.rateNs > 0)
    f.packetRate =
        static_cast<double>(counts.ratePackets) * 1e9 / static_cast<double>(counts.rateNs);
  f.gapMedianNs = gaps.QuantileNs(0.5);
  f.gapP99Ns = gaps.QuantileNs(0.99);
  f.gapMaxNs = gaps.maxNs();
  f.lateMedianNs = late.QuantileNs(0.5);
  f.lateP99Ns = late.QuantileNs(0.99);
  f.lateMaxNs = late.maxNs();
  return f;
}

}  // namespace yebverify
