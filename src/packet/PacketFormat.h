// The shape of the packets a run sends: what the packet builders and the
// parameter file reader need to know of the run, and nothing else.
//
// The driver makes one from its run settings; tests and tools make their
// own. The reader sizes the packet and classifies the records for a format,
// and the builders must then be given the same one: the size rule only
// holds for the format the table was laid out for.
//
// Thread safety: a plain value.
#pragma once

#include <cstdint>

namespace packet {

inline constexpr int32_t kSourceCustom = 0;
inline constexpr int32_t kSourceNep = 1;

// Rates of the time words, in samples per second: TIME$_DAY, and
// TIME$_MILLISEC (which is also the rate of the NEP time parameter).
inline constexpr double dayWordRate = 100.0;
inline constexpr double timeWordRate = 10000.0;

struct PacketFormat {
  int32_t sourceType = kSourceCustom;  // which of the two layouts, and so which builder
  int32_t packetRate = 50;             // packets per second: 50, 100 or 200
  // The time words take tags offset + 1 and + 2, the records the tags after
  // them (16 bits for Custom, 32 for NEP, wrapping).
  int32_t tagOffset = 0;
  // Slow records sample in each of the first packetsPerSample packets of
  // every cycle instead of once every packetsPerSample packets.
  bool superStress = false;
};

}  // namespace packet
