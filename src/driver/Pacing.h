// When each packet of a transfer goes out.
//
// Packets are paced to absolute due times on the monotonic clock: packet k
// of a one-second cycle is due at the cycle's schedule start + k periods, so
// neither build time nor timer lateness accumulates. The rules the operator
// sees are kept: a cycle is never shorter than one second, and after a build
// and send that took longer than the period at least 1 ms passes before the
// next packet. A schedule that has fallen more than a period behind (a YEB
// that stalled the stream) starts again from now instead of sending a burst
// to catch up.
//
// Pure functions on nanosecond times, so they are tested without sleeping.
#pragma once

#include <cstdint>

namespace driver {

inline constexpr int64_t kNsPerMs = 1'000'000;
inline constexpr int64_t kNsPerSecond = 1'000'000'000;

// Nanoseconds between packets at `packetRate` packets per second.
int64_t PacketPeriodNs(int32_t packetRate);

// Due time of packet `k` of a cycle whose schedule starts at `scheduleStartNs`.
int64_t PacketDueNs(int64_t scheduleStartNs, int64_t k, int64_t periodNs);

// The wake time before packet `k` (counted from 0 in its cycle; the packets
// before it have been sent). `packetStartNs` is when the last packet's build
// began and `nowNs` when its send returned. Moves `scheduleStartNs` forward
// when the schedule has fallen more than one period behind.
int64_t NextWakeNs(int64_t& scheduleStartNs, int64_t k, int64_t periodNs, int64_t packetStartNs,
                   int64_t nowNs);

// The earliest end of the cycle that started at `scheduleStartNs`.
int64_t CycleHoldUntilNs(int64_t scheduleStartNs);

// The schedule start of the next cycle: one second after the last, or now
// when that is more than one period ago.
int64_t NextCycleStartNs(int64_t scheduleStartNs, int64_t nowNs, int64_t periodNs);

}  // namespace driver
