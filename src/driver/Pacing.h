// When each packet of a transfer goes out.
//
// Packets are paced to absolute due times on the monotonic clock: packet k
// of a one-second cycle is due at the cycle's schedule start + k periods, so
// neither build time nor timer lateness accumulates. A real source does not
// lose time, so packets held up by up to kCatchUpNs (a busy machine, a slow
// send) go out back to back until the stream is on schedule again; only a
// schedule that has fallen further behind (a YEB that stopped reading) starts
// again from now, because a burst of that size would swamp the receiver.
//
// The rules the operator sees are kept on the schedule: a cycle never ends
// before its scheduled second is over, so no packet leaves before its due
// time and the long-term rate never exceeds the packet rate; after a build
// and send that took longer than the period at least 1 ms passes before the
// next packet. A cycle that catches up on the one before it can therefore
// take less than a second of real time, by as much as the one before ran
// over.
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

// How far behind its due time a stream (synthetic or playback) may fall and
// still catch up by sending back to back; beyond it the schedule starts
// again from now.
inline constexpr int64_t kCatchUpNs = kNsPerSecond;

// The wake time before packet `k` (counted from 0 in its cycle; the packets
// before it have been sent). `packetStartNs` is when the last packet's build
// began and `nowNs` when its send returned. A wake time in the past means
// "send at once" (catching up). Moves `scheduleStartNs` forward when the
// schedule has fallen more than kCatchUpNs behind.
int64_t NextWakeNs(int64_t& scheduleStartNs, int64_t k, int64_t periodNs, int64_t packetStartNs,
                   int64_t nowNs);

// The earliest end of the cycle whose schedule started at `scheduleStartNs`.
int64_t CycleHoldUntilNs(int64_t scheduleStartNs);

// The schedule start of the next cycle: one second after the last, or now
// when that is more than kCatchUpNs ago.
int64_t NextCycleStartNs(int64_t scheduleStartNs, int64_t nowNs);

// True when `dueNs` lies more than `toleranceNs` before `nowNs`: the stream
// was held up for long (a YEB that stopped reading) and the schedule starts
// again from now instead of sending a burst to catch up.
bool FallenBehind(int64_t dueNs, int64_t nowNs, int64_t toleranceNs);

// Playback spaces records by their time stamps (units of 100 us). The gap
// before a record is the difference from its predecessor's stamp in whole
// milliseconds, truncated, at least 1 ms; a gap above `maxGapMs` (60 s
// unless /PlaybackMaxGap says otherwise) is a jump in the recording,
// reported and replaced by 1 s, or by `maxGapMs` when that is shorter.
inline constexpr int64_t kMinRecordGapMs = 1;
inline constexpr int64_t kMaxRecordGapMs = 60'000;
inline constexpr int64_t kJumpReplacementGapMs = 1'000;

struct RecordGap {
  int64_t ms = kMinRecordGapMs;  // the gap to wait, clamped
  int64_t recordedMs = 0;        // the gap as recorded, before clamping
  bool jump = false;             // above kMaxRecordGapMs
};
RecordGap RecordGapMs(int32_t previousStamp, int32_t stamp, int64_t maxGapMs = kMaxRecordGapMs);

// A record is due at the schedule start plus the clamped gaps since then,
// divided by the replay speed. Summing gaps in whole milliseconds and
// dividing once keeps rounding from adding up over a long recording.
int64_t PlaybackDueNs(int64_t scheduleStartNs, int64_t gapsMs, double speed);

// How far behind its due time playback may fall before it starts its
// schedule again from now. Late records up to this are sent back to back,
// so a short hold-up does not shift the rest of the recording.
inline constexpr int64_t kPlaybackCatchUpNs = kCatchUpNs;

}  // namespace driver
