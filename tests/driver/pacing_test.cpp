#include "driver/Pacing.h"

#include <gtest/gtest.h>

#include <algorithm>
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
  // The YEB stalled the send of packet 2 until 2 s: packet 3, due at 15 ms,
  // is more than a second behind.
  const int64_t wake = driver::NextWakeNs(start, 3, period, 10 * kNsPerMs, 2 * kNsPerSecond);
  EXPECT_EQ(wake, 2 * kNsPerSecond + kNsPerMs);
  EXPECT_EQ(start, 2 * kNsPerSecond - 15 * kNsPerMs);
  // The following packets are a period apart again.
  EXPECT_EQ(driver::NextWakeNs(start, 4, period, wake, wake), start + 20 * kNsPerMs);
}

TEST(Pacing, PacketsUpToASecondBehindCatchUpBackToBack) {
  const int64_t period = 5 * kNsPerMs;
  struct Case {
    int64_t sentNs;   // when the send of packet 2 (started at 10 ms) returned
    int64_t wakeNs;   // before packet 3, due at 15 ms
    int64_t startNs;  // the schedule start afterwards
  };
  const Case cases[] = {
      {12 * kNsPerMs, 15 * kNsPerMs, 0},  // on time
      {60 * kNsPerMs, 61 * kNsPerMs, 0},  // slow send: 1 ms breather, no restart
      {kNsPerSecond + 15 * kNsPerMs, kNsPerSecond + 16 * kNsPerMs, 0},  // exactly a second behind
      {kNsPerSecond + 15 * kNsPerMs + 1, kNsPerSecond + 16 * kNsPerMs + 1, kNsPerSecond + 1},
  };
  for (const Case& c : cases) {
    int64_t start = 0;
    EXPECT_EQ(driver::NextWakeNs(start, 3, period, 10 * kNsPerMs, c.sentNs), c.wakeNs) << c.sentNs;
    EXPECT_EQ(start, c.startNs) << c.sentNs;
  }
  // After the 50 ms send, packets 4.. are due in the past and go at once
  // (a wake time not after now) until packet 13, due at 65 ms.
  int64_t start = 0;
  int64_t now = 61 * kNsPerMs;
  for (int64_t k = 4; k <= 12; ++k) EXPECT_LE(driver::NextWakeNs(start, k, period, now, now), now);
  EXPECT_EQ(driver::NextWakeNs(start, 13, period, now, now), 65 * kNsPerMs);
}

// The streaming loop's use of the pure functions, on a model clock: each
// packet takes `buildNs`, and a seeded generator holds up sends by 0-60 ms
// now and then (a shared machine). No packet may leave before its due time,
// and none may be lost: after every cycle the packets sent are the packets
// due, to within the ones a hold-up is still catching up on.
TEST(Pacing, AStreamWithHoldUpsKeepsTimeOverTenMinutes) {
  const int32_t rate = 200;
  const int64_t period = driver::PacketPeriodNs(rate);
  uint64_t seed = 0x9e3779b97f4a7c15u;
  auto next = [&seed] { return (seed = seed * 6364136223846793005u + 1442695040888963407u) >> 33; };
  int64_t start = 0;
  int64_t now = 0;
  int64_t sent = 0;
  int64_t holdUps = 0;
  for (int cycle = 0; cycle < 600; ++cycle) {
    for (int64_t k = 0; k < rate; ++k) {
      const int64_t packetStart = now;
      ASSERT_GE(packetStart, driver::PacketDueNs(start, k, period)) << cycle << " " << k;
      now += 300000;
      if (next() % 100 == 0) {
        now += static_cast<int64_t>(next() % 60) * kNsPerMs;
        ++holdUps;
      }
      ++sent;
      now = std::max(now, driver::NextWakeNs(start, k + 1, period, packetStart, now));
    }
    now = std::max(now, driver::CycleHoldUntilNs(start));
    start = driver::NextCycleStartNs(start, now);
    const int64_t due = now / period + 1;  // packets due at or before now
    EXPECT_GE(sent, due - 2 * 60 * kNsPerMs / period) << cycle;
    EXPECT_LE(sent, due) << cycle;
  }
  EXPECT_GT(holdUps, 1000);
  EXPECT_EQ(start, 600 * kNsPerSecond);  // never restarted
}

TEST(Pacing, CyclesLastAtLeastASecondAndFollowEachOther) {
  EXPECT_EQ(driver::CycleHoldUntilNs(5), 5 + kNsPerSecond);
  EXPECT_EQ(driver::NextCycleStartNs(0, kNsPerSecond + 300000), kNsPerSecond);
  EXPECT_EQ(driver::NextCycleStartNs(0, 2 * kNsPerSecond), kNsPerSecond);
  EXPECT_EQ(driver::NextCycleStartNs(0, 2 * kNsPerSecond + 1), 2 * kNsPerSecond + 1);
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
