// The monotonic counter and the waits built on it, checked without long
// sleeps.

#include "platform/Clock.h"

#include <gtest/gtest.h>

namespace {

TEST(Clock, CounterIsMonotonicAndInNanoseconds) {
  int64_t previous = platform::CounterNow();
  for (int i = 0; i < 10000; ++i) {
    int64_t now = platform::CounterNow();
    ASSERT_GE(now, previous);
    previous = now;
  }
  platform::Clock& clock = platform::SystemClock();
  int64_t a = clock.NowNs();
  int64_t b = clock.NowNs();
  EXPECT_GE(b, a);
}

TEST(Clock, PastDeadlinesReturnAtOnce) {
  int64_t start = platform::CounterNow();
  platform::SleepUntilCounter(start - 1'000'000'000);
  platform::SleepUntilCounter(0);
  platform::SystemClock().SleepUntilNs(start - 5);
  // Generous bound: these must not have waited anything like a second.
  EXPECT_LT(platform::CounterNow() - start, 500'000'000);
}

TEST(Clock, ShortWaitsLastAtLeastTheirTime) {
  int64_t start = platform::CounterNow();
  platform::SleepMs(2);
  int64_t afterSleep = platform::CounterNow();
  EXPECT_GE(afterSleep - start, 2'000'000);
  platform::SystemClock().SleepUntilNs(afterSleep + 1'000'000);
  EXPECT_GE(platform::CounterNow() - afterSleep, 1'000'000);
  int64_t deadline = platform::CounterNow() + 1'000'000;
  platform::SleepUntilCounter(deadline);
  EXPECT_GE(platform::CounterNow(), deadline);
  platform::TimerResolutionRequest request;  // nothing to do here, must not fail
}

}  // namespace
