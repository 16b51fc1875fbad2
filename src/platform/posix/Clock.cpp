#include "platform/Clock.h"

#include <cerrno>
#include <ctime>

namespace platform {
namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;

timespec ToTimespec(int64_t ns) {
  timespec ts;
  ts.tv_sec = static_cast<time_t>(ns / kNsPerSecond);
  ts.tv_nsec = static_cast<long>(ns % kNsPerSecond);
  return ts;
}

}  // namespace

int64_t CounterNow() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * kNsPerSecond + ts.tv_nsec;
}

void SleepUntilCounter(int64_t deadlineNs) {
  if (deadlineNs <= 0) return;
  timespec ts = ToTimespec(deadlineNs);
  // An absolute deadline survives interruptions without drifting.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

TimerResolutionRequest::TimerResolutionRequest() = default;
TimerResolutionRequest::~TimerResolutionRequest() = default;

}  // namespace platform
