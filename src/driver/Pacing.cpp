#include "driver/Pacing.h"

#include <algorithm>
#include <cmath>

namespace driver {

int64_t PacketPeriodNs(int32_t packetRate) {
  return packetRate > 0 ? kNsPerSecond / packetRate : kNsPerSecond;
}

int64_t PacketDueNs(int64_t scheduleStartNs, int64_t k, int64_t periodNs) {
  return scheduleStartNs + k * periodNs;
}

int64_t NextWakeNs(int64_t& scheduleStartNs, int64_t k, int64_t periodNs, int64_t packetStartNs,
                   int64_t nowNs) {
  int64_t due = PacketDueNs(scheduleStartNs, k, periodNs);
  if (FallenBehind(due, nowNs, kCatchUpNs)) {
    scheduleStartNs += nowNs - due;
    due = nowNs;
  }
  if (nowNs - packetStartNs > periodNs) due = std::max(due, nowNs + kNsPerMs);
  return due;
}

int64_t CycleHoldUntilNs(int64_t scheduleStartNs) { return scheduleStartNs + kNsPerSecond; }

int64_t NextCycleStartNs(int64_t scheduleStartNs, int64_t nowNs) {
  const int64_t next = scheduleStartNs + kNsPerSecond;
  return FallenBehind(next, nowNs, kCatchUpNs) ? nowNs : next;
}

bool FallenBehind(int64_t dueNs, int64_t nowNs, int64_t toleranceNs) {
  return nowNs - dueNs > toleranceNs;
}

RecordGap RecordGapMs(int32_t previousStamp, int32_t stamp, int64_t maxGapMs) {
  RecordGap gap;
  // In 64 bits: stamps far apart would overflow a 32-bit difference.
  gap.recordedMs = (int64_t{stamp} - int64_t{previousStamp}) / 10;
  if (gap.recordedMs < kMinRecordGapMs) {
    gap.ms = kMinRecordGapMs;
  } else if (gap.recordedMs > maxGapMs) {
    gap.ms = std::min(kJumpReplacementGapMs, maxGapMs);
    gap.jump = true;
  } else {
    gap.ms = gap.recordedMs;
  }
  return gap;
}

int64_t PlaybackDueNs(int64_t scheduleStartNs, int64_t gapsMs, double speed) {
  const double ns = static_cast<double>(gapsMs) * static_cast<double>(kNsPerMs) / speed;
  return scheduleStartNs + std::llround(ns);
}

}  // namespace driver
