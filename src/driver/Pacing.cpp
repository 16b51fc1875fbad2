#include "driver/Pacing.h"

#include <algorithm>

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
  if (nowNs - due > periodNs) {
    scheduleStartNs += nowNs - due;
    due = nowNs;
  }
  if (nowNs - packetStartNs > periodNs) due = std::max(due, nowNs + kNsPerMs);
  return due;
}

int64_t CycleHoldUntilNs(int64_t scheduleStartNs) { return scheduleStartNs + kNsPerSecond; }

int64_t NextCycleStartNs(int64_t scheduleStartNs, int64_t nowNs, int64_t periodNs) {
  const int64_t next = scheduleStartNs + kNsPerSecond;
  return nowNs - next > periodNs ? nowNs : next;
}

}  // namespace driver
