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

class RealClock final : public Clock {
 public:
  int64_t NowNs() override { return CounterNow(); }
  void SleepUntilNs(int64_t deadlineNs) override { SleepUntilCounter(deadlineNs); }
};

}  // namespace

int64_t CounterNow() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * kNsPerSecond + ts.tv_nsec;
}

int64_t CounterFrequency() { return kNsPerSecond; }

void SleepUntilCounter(int64_t deadlineNs) {
  if (deadlineNs <= 0) return;
  timespec ts = ToTimespec(deadlineNs);
  // An absolute deadline survives interruptions without drifting.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

void SleepMs(uint32_t ms) { SleepUntilCounter(CounterNow() + static_cast<int64_t>(ms) * 1'000'000); }

bool TimerWaitRelative(int64_t hundredNs) {
  if (hundredNs > 0) SleepUntilCounter(CounterNow() + hundredNs * 100);
  return true;
}

TimerResolutionRequest::TimerResolutionRequest() = default;
TimerResolutionRequest::~TimerResolutionRequest() = default;

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace platform
