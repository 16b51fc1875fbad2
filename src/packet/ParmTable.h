// The parameter table: one record per synthetic parameter.
//
// The parameter file reader appends records in file order; that order is the
// order of the samples in every packet and of the lines in the parameter
// lists. The table has a fixed capacity and never grows; the reader refuses a
// file that asks for more. The driver holds the one table of a run; tests
// build their own.
//
// Thread safety: main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/LargeBlock.h"

namespace packet {

inline constexpr int32_t kParmTableCapacity = 262144;

struct ParmRecord {
  double sampleRate = 0.0;       // samples per second, > 0; a fast record's wrap limit
  int32_t valuesPerPacket = 0;   // fast record: samples in every packet; slow: 0
  int32_t packetCountdown = 0;   // slow record: packets still to pass before the next sample
  int32_t packetsPerSample = 0;  // slow record: one sample every this many packets; fast: 0
  uint16_t tag = 0;              // Custom source tag
  int32_t nepTag = 0;            // NEP source tag
  float value = 0.0f;            // the next value to send
};

// The records' memory: the whole capacity, set to default records, in huge
// pages where the system offers them (the builders walk every record of
// the table for every packet).
class RecordArray {
 public:
  RecordArray();

  ParmRecord& operator[](std::ptrdiff_t index) const { return get()[index]; }
  ParmRecord* get() const { return static_cast<ParmRecord*>(block_.data()); }

 private:
  platform::LargeBlock block_;
};

struct ParmTable {
  ParmTable() = default;
  ParmTable(const ParmTable&) = delete;
  ParmTable& operator=(const ParmTable&) = delete;

  RecordArray records;  // kParmTableCapacity of them
  int32_t parmCount = 0;
};

}  // namespace packet
