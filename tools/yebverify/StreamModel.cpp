#include "StreamModel.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace yebverify {
namespace {

constexpr double kSlowLimit = 1000.0;
// Above 2^24 adding 1.0 in single precision no longer changes the value, so
// the tool wraps there whatever the limit.
constexpr uint32_t kLargestExactCounter = 1u << 24;

// trunc toward zero into 32 bits, saturating, as the tool's range-checked
// conversions do.
uint32_t TruncatedCount(double x) {
  if (!(x > 0.0)) return 0;
  if (x >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  return static_cast<uint32_t>(x);
}

uint32_t LastValueBelow(double limit, uint32_t step) {
  double last = std::floor(limit);
  uint32_t value =
      last >= kLargestExactCounter ? kLargestExactCounter : static_cast<uint32_t>(last);
  return value - value % step;
}

}  // namespace

StreamModel::StreamModel(const ParameterList& list, const StreamShape& shape)
    : list_(list), shape_(shape) {
  const double packetRate = shape_.packetRate;
  uint64_t slots = 0;
  records_.reserve(list_.parameters.size());
  for (const ListedParameter& p : list_.parameters) {
    RecordPlan plan;
    plan.tag = p.tag;
    if (p.rate >= packetRate) {
      plan.valuesPerPacket = TruncatedCount(p.rate / packetRate);
      plan.maxValue = LastValueBelow(p.rate, 1);
      slots += plan.valuesPerPacket;
      fastSamplesPerPacket_ += plan.valuesPerPacket;
    } else {
      slowRecords_.push_back(static_cast<uint32_t>(records_.size()));
      plan.packetsPerSample = TruncatedCount(packetRate / p.rate);
      if (plan.packetsPerSample == 0) plan.packetsPerSample = 1;
      plan.step = shape_.superStress && shape_.source == SourceKind::kNep ? 2 : 1;
      plan.maxValue = LastValueBelow(kSlowLimit, plan.step);
      slots += 1;
    }
    if (plan.tag == 0) hasTag0_ = true;
    records_.push_back(plan);
  }
  const uint64_t timeValues = static_cast<uint64_t>(timeValuesPerPacket());
  if (shape_.source == SourceKind::kCustom) {
    packetSizeLimit_ = 32 + 12 + 6 * timeValues + 6 * slots;
  } else {
    packetSizeLimit_ = 4 + 12 * timeValues + 8 * slots;
  }
}

uint64_t StreamModel::SamplesInPacket(uint64_t packet) const {
  uint64_t samples = fastSamplesPerPacket_;
  for (uint32_t r : slowRecords_) samples += SamplesIn(records_[r], packet);
  return samples;
}

uint64_t StreamModel::SamplesInRange(const RecordPlan& record, uint64_t first,
                                     uint64_t last) const {
  if (last < first) return 0;
  const uint64_t packets = last - first + 1;
  if (record.valuesPerPacket > 0) return packets * record.valuesPerPacket;
  // Sampled packets up to n, counted from packet 1.
  auto sampledUpTo = [&](uint64_t n) -> uint64_t {
    if (n == 0) return 0;
    if (shape_.superStress) {
      const uint64_t rate = static_cast<uint64_t>(shape_.packetRate);
      const uint64_t perCycle = record.packetsPerSample < rate ? record.packetsPerSample : rate;
      uint64_t partial = n % rate;
      return (n / rate) * perCycle + (partial < perCycle ? partial : perCycle);
    }
    return (n - 1) / record.packetsPerSample + 1;
  };
  return sampledUpTo(last) - sampledUpTo(first - 1);
}

uint32_t AdvanceValue(const RecordPlan& record, uint32_t value, uint64_t steps) {
  const uint64_t cycle = record.maxValue / record.step + 1;
  const uint64_t position = (value / record.step + steps % cycle) % cycle;
  return static_cast<uint32_t>(position * record.step);
}

bool IsCounterValue(const RecordPlan& record, uint32_t bits, uint32_t& value) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  if (!(f >= 0.0f) || f > static_cast<float>(record.maxValue)) return false;
  value = static_cast<uint32_t>(f);
  // The only zero the counter sends is +0.0.
  return static_cast<float>(value) == f && value % record.step == 0 && bits != 0x80000000u;
}

}  // namespace yebverify
