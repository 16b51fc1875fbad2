// The state that the packet builders carry from one packet to the next.
//
// Sequence numbers, the position in the one-second cycle, the Custom data
// time and the NEP time all run on across transfers; only `timeTick` is set
// anew when a transfer starts. The driver holds the one state of a run;
// tests build their own.
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>

namespace packet {

struct PacketState {
  int32_t timeValuesPerPacket = 0;  // 10000 / packetRate: 200, 100 or 50
  int32_t packetBufferSize = 0;     // bytes of the send buffer, by the size rule
  // Template of the first 32 bytes of a Custom packet: word 0 is the count of
  // bytes after it, words 1 and 2 the sequence number.
  uint32_t packetHeader[8] = {};
  int32_t packetCounter = 1;  // 1..packetRate: the packet's place in its cycle
  uint32_t timeTick = 0;      // next TIME$_MILLISEC sample, 100 us units
  uint64_t nepTime = 0;       // nanoseconds of the last NEP time entry
  int32_t nepPacketLength = 0;
  // Bytes of NEP packets since the last report; 64 bits so that large
  // packets at 200 per second cannot wrap it.
  int64_t nepByteTotal = 0;
};

}  // namespace packet
