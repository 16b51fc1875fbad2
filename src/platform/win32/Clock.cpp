#include "platform/Clock.h"

#include <windows.h>
// windows.h first: the multimedia header needs its types.
#include <mmsystem.h>

namespace platform {
namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;

int64_t Frequency() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);  // never fails on XP and later
    return static_cast<int64_t>(f.QuadPart);
  }();
  return frequency;
}

// Waits `hundredNs` (> 0) units of 100 ns on a waitable timer of its own,
// or sleeps as long when the timer cannot be had. The timer
// is made for each wait: one kept per thread would be a thread_local with a
// destructor, whose registration takes the C library's exit lock, and a
// library thread sleeping while the process ends would deadlock with exit.
void WaitHundredNs(int64_t hundredNs) {
  HANDLE timer = CreateWaitableTimerW(nullptr, TRUE, nullptr);
  bool waited = false;
  if (timer != nullptr) {
    LARGE_INTEGER due;
    due.QuadPart = -hundredNs;  // negative: relative to now
    waited = SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) &&
             WaitForSingleObject(timer, INFINITE) == WAIT_OBJECT_0;
    CloseHandle(timer);
  }
  if (!waited) Sleep(static_cast<DWORD>((hundredNs + 9'999) / 10'000));
}

}  // namespace

int64_t CounterNow() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  // Whole seconds and the rest apart, so the product never overflows.
  const int64_t f = Frequency();
  const int64_t ticks = now.QuadPart;
  return ticks / f * kNsPerSecond + ticks % f * kNsPerSecond / f;
}

void SleepUntilCounter(int64_t deadlineNs) {
  // A waitable timer's absolute time is the wall clock, which may be set;
  // so wait relative to the counter, again if the timer ended a little
  // before the counter got there.
  for (int64_t left = deadlineNs - CounterNow(); left > 0; left = deadlineNs - CounterNow()) {
    WaitHundredNs((left + 99) / 100);
  }
}

TimerResolutionRequest::TimerResolutionRequest() { timeBeginPeriod(1); }
TimerResolutionRequest::~TimerResolutionRequest() { timeEndPeriod(1); }

}  // namespace platform
