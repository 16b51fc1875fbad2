// The two packet builders and the Custom greeting.
//
// Each call builds the next packet in place in the caller's send buffer, with
// a running write offset and no allocation, and advances the records' values,
// the slow records' countdowns and the packet state. All fields are
// little-endian.
//
// Custom packet (exactly `packetBufferSize` bytes): the 32-byte header
// (count of bytes after word 0, the sequence number twice, five zero words),
// the day pair, `timeValuesPerPacket` / 2 time pairs, then the samples in
// 12-byte pairs (two 16-bit tags, two 32-bit values). A sample left without
// a partner after the last record is not sent; the bytes after the last pair
// are zero.
//
// NEP packet (`nepPacketLength` bytes, at most `packetBufferSize`): the
// length word, `timeValuesPerPacket` 12-byte time entries (tag word
// 0x80000001 and the 64-bit time in nanoseconds), then one 8-byte entry
// (32-bit tag, float value) per sample.
//
// REQUIRES: the buffer holds at least `packetBufferSize` bytes, and the
// table and `packetBufferSize` were set up together by the parameter file
// reader for the same format (the size rule guarantees the samples fit).
//
// Thread safety: main thread only; the builders are not re-entrant.
#pragma once

#include <cstdint>

#include "packet/PacketFormat.h"
#include "packet/PacketState.h"
#include "packet/ParmTable.h"
#include "packet/SignalRun.h"

namespace platform {
class TextOut;
}

namespace packet {

// Sent once after each accepted connection for the Custom source: the byte
// 0x01, then a 32-bit zero.
inline constexpr uint8_t kCustomGreeting[5] = {0x01, 0x00, 0x00, 0x00, 0x00};

// Slow records wrap their value above this limit.
inline constexpr double kSlowValueLimit = 1000.0;

// The tag word of a NEP time entry: the top bit over time parameter tag 1.
inline constexpr uint32_t kNepTimeTagWord = 0x80000001u;

// Nanoseconds of NEP time per time entry.
inline constexpr uint64_t kNepTimeStepNs = 100000;

// Builds the next Custom packet into `buffer` (`state.packetBufferSize`
// bytes are written). With `signals` (see SignalRun.h) records take their
// signals' values and logged samples are noted in `signals->taps`.
void BuildCustomPacket(const PacketFormat& format, ParmTable& table, PacketState& state,
                       uint8_t* buffer, SignalRun* signals = nullptr);

// Builds the next NEP packet into `buffer`, stores its length in
// `state.nepPacketLength` and returns it. Once per cycle it prints the byte
// total of the cycle's packets ("total size all packets = %d\n") to `out`.
int32_t BuildNepPacket(const PacketFormat& format, ParmTable& table, PacketState& state,
                       uint8_t* buffer, platform::TextOut& out, SignalRun* signals = nullptr);

// The value step of one sample: returns the value to send and advances the
// record's value by 1.0 (single precision), wrapping to 0.0 above `limit`
// or when adding 1.0 no longer changes it.
float TakeSample(ParmRecord& record, double limit);

}  // namespace packet
