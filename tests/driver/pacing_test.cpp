#include "driver/Pacing.h"

#include <gtest/gtest.h>

#include <climits>

#include "driver/DataTime.h"

namespace {

using driver::kNsPerMs;
using driver::kNsPerSecond;

TEST(Pacing, PacketsAreDueAtWholePeriodsFromTheCycleStart) {
  EXPECT_EQ(driver::PacketPeriodNs(200), 5 * kNsPerMs);
  EXPECT_EQ(driver::PacketPeriodNs(100), 10 * kNsPerMs);
  EXPECT_EQ(driver::PacketPeriodNs(50), 20 * kNsPerMs);
  EXPECT_EQ(driver::PacketDueNs(1000, 7, 5 * kNsPerMs), 1000 + 35 * kNsPerMs);
}

TEST(Pacing, BuildTimeAndLatenessDoNotAccumulate) {
  // Each packet takes 3.7 ms to build and send; wakes come 0.4 ms late.
  int64_t start = 0;
  const int64_t period = 5 * kNsPerMs;
  int64_t now = 0;
  for (int64_t k = 1; k <= 200; ++k) {
    const int64_t packetStart = now;
    now += 3700000;
    now = driver::NextWakeNs(start, k, period, packetStart, now) + 400000;
  }
  EXPECT_EQ(start, 0);
  EXPECT_EQ(now, kNsPerSecond + 400000);
}

TEST(Pacing, ASlowPacketIsFollowedByAtLeastOneMillisecond) {
  int64_t start = 0;
  const int64_t period = 5 * kNsPerMs;
  // Packet 0 started at 0 and its send returned at 6 ms: past its period,
  // but the next due time (5 ms) is less than a period behind.
  EXPECT_EQ(driver::NextWakeNs(start, 1, period, 0, 6 * kNsPerMs), 7 * kNsPerMs);
  EXPECT_EQ(start, 0);
  // A packet that finished within its period keeps the schedule.
  EXPECT_EQ(driver::NextWakeNs(start, 2, period, 7 * kNsPerMs, 8 * kNsPerMs), 10 * kNsPerMs);
}

TEST(Pacing, AStalledScheduleStartsAgainFromNowInsteadOfBursting) {
  int64_t start = 0;
  const int64_t period = 5 * kNsPerMs;
  // The YEB stalled the send of packet 2 until 2 s.
  const int64_t wake = driver::NextWakeNs(start, 3, period, 10 * kNsPerMs, 2 * kNsPerSecond);
  EXPECT_EQ(wake, 2 * kNsPerSecond + kNsPerMs);
  EXPECT_EQ(start, 2 * kNsPerSecond - 15 * kNsPerMs);
  // The following packets are a period apart again.
  EXPECT_EQ(driver::NextWakeNs(start, 4, period, wake, wake), start + 20 * kNsPerMs);
}

TEST(Pacing, CyclesLastAtLeastASecondAndFollowEachOther) {
  const int64_t period = 20 * kNsPerMs;
  EXPECT_EQ(driver::CycleHoldUntilNs(5), 5 + kNsPerSecond);
  EXPECT_EQ(driver::NextCycleStartNs(0, kNsPerSecond + 300000, period), kNsPerSecond);
  EXPECT_EQ(driver::NextCycleStartNs(0, 3 * kNsPerSecond, period), 3 * kNsPerSecond);
}

TEST(PlaybackPacing, RecordGapsAreWholeMillisecondsClampedToTheirRange) {
  struct Case {
    int32_t previous, stamp;
    int64_t ms;
    bool jump;
  };
  const Case cases[] = {
      {1000, 1005, 1, false},               // 0.5 ms: raised to the 1 ms floor
      {1000, 1029, 2, false},               // truncated, not rounded
      {5000, 100, 1, false},                // falling stamps
      {0, 600'000, 60'000, false},          // exactly the limit
      {0, 700'000, 1'000, true},            // 70 s: a jump, replaced by 1 s
      {INT32_MIN, INT32_MAX, 1'000, true},  // no 32-bit overflow
      {INT32_MAX, INT32_MIN, 1, false},
  };
  for (const Case& c : cases) {
    const driver::RecordGap gap = driver::RecordGapMs(c.previous, c.stamp);
    EXPECT_EQ(gap.ms, c.ms) << c.previous << " " << c.stamp;
    EXPECT_EQ(gap.jump, c.jump) << c.previous << " " << c.stamp;
  }
  EXPECT_EQ(driver::RecordGapMs(INT32_MIN, INT32_MAX).recordedMs, 429'496'729);
}

TEST(PlaybackPacing, DueTimesDivideTheSummedGapsOnce) {
  EXPECT_EQ(driver::PlaybackDueNs(10, 20, 1.0), 10 + 20 * kNsPerMs);
  EXPECT_EQ(driver::PlaybackDueNs(0, 20, 4.0), 5 * kNsPerMs);
  EXPECT_EQ(driver::PlaybackDueNs(0, 1, 3.0), 333'333);
  EXPECT_EQ(driver::PlaybackDueNs(0, 3000, 3.0), kNsPerSecond);
  EXPECT_EQ(driver::PlaybackDueNs(0, 1, 0.001), kNsPerSecond);
  EXPECT_FALSE(driver::FallenBehind(0, kNsPerSecond, kNsPerSecond));
  EXPECT_TRUE(driver::FallenBehind(0, kNsPerSecond + 1, kNsPerSecond));
}

TEST(DataTime, CustomTimeIsOneDayPlusTheTicks) {
  EXPECT_EQ(driver::DataTimeText(driver::CustomDataTimeNs(9800)), "001:00:00:00.980");
  EXPECT_EQ(driver::DataTimeText(driver::CustomDataTimeNs(1335000)), "001:00:02:13.500");
  EXPECT_EQ(driver::DataTimeText(driver::CustomDataTimeNs(4294967295u)), "005:23:18:16.729");
  EXPECT_EQ(driver::DataTimeText(1000000000), "000:00:00:01.000");
}

TEST(DataTime, TransfersStartAfterAJumpOrFromTwiceTheTimeUnderTimeGap) {
  EXPECT_EQ(driver::StartTimeTick(1, true, 77), 150000u);
  EXPECT_EQ(driver::StartTimeTick(0, true, 77), 154u);
  EXPECT_EQ(driver::StartTimeTick(0, true, 0x80000001u), 2u);
  EXPECT_EQ(driver::StartTimeTick(0, false, 77), 0u);
}

TEST(DataTime, DoublingFollowsAFieldEndingInFive) {
  EXPECT_TRUE(driver::TimeTextCallsForDoubling("001:00:05:00.980"));
  EXPECT_TRUE(driver::TimeTextCallsForDoubling("005:00:00:00.980"));
  EXPECT_FALSE(driver::TimeTextCallsForDoubling("001:00:00:05.980"));
  EXPECT_FALSE(driver::TimeTextCallsForDoubling("001:00:04:59.980"));
}

}  // namespace
