// Monotonic time and sleeps.
//
// The counter is the monotonic high-resolution clock (never the wall clock)
// and counts nanoseconds on every platform: the Windows side scales the
// performance counter's ticks, so nothing above this layer deals in ticks.
// Pacing code works with absolute deadlines on this counter so that waits
// do not drift. `Clock` is the
// injectable face of the same services: production code takes a `Clock&`
// (SystemClock() by default) and tests pass a fake they advance by hand.
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstdint>

namespace platform {

// Current value of the monotonic high-resolution counter, in nanoseconds.
int64_t CounterNow();

// Sleeps at least `ms` milliseconds (resumes after signals).
void SleepMs(uint32_t ms);
// Sleeps until CounterNow() >= deadlineNs; returns at once when the
// deadline has passed.
void SleepUntilCounter(int64_t deadlineNs);

// Asks the system for a 1 ms timer resolution for the object's lifetime
// (timeBeginPeriod/timeEndPeriod on Windows). Nothing to do on POSIX, where
// sleeps already have sub-millisecond resolution.
class TimerResolutionRequest {
 public:
  TimerResolutionRequest();
  ~TimerResolutionRequest();
  TimerResolutionRequest(const TimerResolutionRequest&) = delete;
  TimerResolutionRequest& operator=(const TimerResolutionRequest&) = delete;
};

// The same monotonic nanoseconds, injectable for tests.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t NowNs() = 0;
  // Returns when NowNs() >= deadlineNs.
  virtual void SleepUntilNs(int64_t deadlineNs) = 0;
};

// The process's real monotonic clock.
Clock& SystemClock();

}  // namespace platform
