// What the stream must hold, worked out from the parameter list and the
// packet rate: for every listed parameter its share of each packet, the
// packets it is sampled in, and the cycle of values its counter runs
// through.
//
// Packets are numbered from 1 for the first packet the stress tool built
// after it started (the Custom sequence number). Every sampling decision of
// the tool depends only on that number: a slow parameter starts sampled in
// packet 1 and then every `packetsPerSample` packets, or under super stress
// in the first `packetsPerSample` packets of every `packetRate`-packet cycle.
//
// Counters: a sample sends the value and then steps it by 1 (by 2 for a NEP
// slow parameter under super stress), wrapping to 0 above the limit (the
// rate of a fast parameter, 1000 for a slow one) or where single precision
// no longer rises. So each counter runs through 0, step, ..., maxValue.
//
// Thread safety: immutable after construction.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ParameterList.h"

namespace yebverify {

// The stress tool refuses a parameter set whose packet would pass a signed
// 32-bit size.
inline constexpr uint64_t kLargestPacketBytes = 0x7FFFFFFF;
inline constexpr uint32_t kNoValue = 0xFFFFFFFFu;  // counter state not known yet

struct RecordPlan {
  uint32_t tag = 0;
  uint32_t valuesPerPacket = 0;   // > 0: a fast parameter
  uint32_t packetsPerSample = 0;  // > 0: a slow parameter
  uint32_t step = 1;
  uint32_t maxValue = 0;  // the last value before the counter wraps to 0
};

struct StreamShape {
  SourceKind source = SourceKind::kCustom;
  int packetRate = 50;  // 50, 100 or 200
  bool superStress = false;
};

class StreamModel {
 public:
  StreamModel(const ParameterList& list, const StreamShape& shape);

  const StreamShape& shape() const { return shape_; }
  const ParameterList& list() const { return list_; }
  const std::vector<RecordPlan>& records() const { return records_; }
  int timeValuesPerPacket() const { return 10000 / shape_.packetRate; }
  // Custom: the size every packet has. NEP: the largest a packet can be.
  uint64_t packetSizeLimit() const { return packetSizeLimit_; }
  bool HasTag0() const { return hasTag0_; }

  // Samples of `record` in packet `packet`.
  uint32_t SamplesIn(const RecordPlan& record, uint64_t packet) const {
    if (record.valuesPerPacket > 0) return record.valuesPerPacket;
    if (shape_.superStress) {
      uint64_t position = (packet - 1) % static_cast<uint64_t>(shape_.packetRate) + 1;
      return record.packetsPerSample >= position ? 1 : 0;
    }
    return (packet - 1) % record.packetsPerSample == 0 ? 1 : 0;
  }
  // Samples of every record in packet `packet`.
  uint64_t SamplesInPacket(uint64_t packet) const;
  // Samples of `record` in packets first..last (none when last < first).
  uint64_t SamplesInRange(const RecordPlan& record, uint64_t first, uint64_t last) const;

 private:
  ParameterList list_;
  StreamShape shape_;
  std::vector<RecordPlan> records_;
  uint64_t packetSizeLimit_ = 0;
  bool hasTag0_ = false;
  uint64_t fastSamplesPerPacket_ = 0;
  std::vector<uint32_t> slowRecords_;
};

// The counter value after `value`.
inline uint32_t NextValue(const RecordPlan& record, uint32_t value) {
  return value >= record.maxValue ? 0 : value + record.step;
}
// The counter value `steps` samples after `value`.
uint32_t AdvanceValue(const RecordPlan& record, uint32_t value, uint64_t steps);
// Whether `bits` is a float the counter can send; `value` receives it.
bool IsCounterValue(const RecordPlan& record, uint32_t bits, uint32_t& value);

inline uint32_t FloatBits(uint32_t counter) {
  float f = static_cast<float>(counter);
  uint32_t bits;
  __builtin_memcpy(&bits, &f, sizeof bits);
  return bits;
}

}  // namespace yebverify
