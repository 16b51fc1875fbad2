// Arrival timing: the duration histogram and the figures built on it.
#include <gtest/gtest.h>

#include "ArrivalStats.h"

namespace yebverify {
namespace {

TEST(DurationHistogramTest, ExactBelowTwoMillisecondsCloseAbove) {
  DurationHistogram h;
  for (int us = 1; us <= 100; ++us) h.Add(us * 1000);
  EXPECT_EQ(h.QuantileNs(0.5), 50'000);
  EXPECT_EQ(h.QuantileNs(0.99), 99'000);
  EXPECT_EQ(h.maxNs(), 100'000);
  DurationHistogram big;
  big.Add(20'000'000);
  big.Add(20'004'000);
  big.Add(123'456'789'000);
  EXPECT_NEAR(static_cast<double>(big.QuantileNs(0.5)), 20'004'000.0, 20'004'000.0 / 1000);
  EXPECT_EQ(big.QuantileNs(1.0), 123'456'789'000);
  big.Add(-5);  // a clock that went backwards counts as no wait
  EXPECT_EQ(big.QuantileNs(0.01), 0);
  big.Clear();
  EXPECT_EQ(big.count(), 0u);
  EXPECT_EQ(big.QuantileNs(0.5), 0);
}

TEST(ArrivalStatsTest, RateGapsAndLatenessAgainstTheSchedule) {
  ArrivalStats stats(50);  // 20 ms period
  stats.BeginConnection();
  int64_t t = 1'000'000'000;
  for (int i = 0; i < 100; ++i) {
    // Every tenth packet 3 ms late; the schedule does not move with it.
    stats.AddPacket(t + i * 20'000'000 + (i % 10 == 9 ? 3'000'000 : 0), 1000);
  }
  TimingFigures f = stats.Total();
  EXPECT_EQ(f.packets, 100u);
  EXPECT_EQ(f.bytes, 100'000u);
  EXPECT_NEAR(f.packetRate, 99 / 1.983, 1e-9);  // 99 gaps over 1,983 ms
  EXPECT_EQ(f.gapMedianNs, 20'000'000);
  EXPECT_EQ(f.gapMaxNs, 23'000'000);
  EXPECT_EQ(f.lateMedianNs, 0);
  EXPECT_EQ(f.lateMaxNs, 3'000'000);
  EXPECT_EQ(f.lateP99Ns, 3'000'000);
}

TEST(ArrivalStatsTest, WindowsResetAndConnectionsRestartTheSchedule) {
  ArrivalStats stats(100);
  stats.BeginConnection();
  stats.AddPacket(0, 10);
  stats.AddPacket(10'000'000, 10);
  TimingFigures w = stats.TakeWindow();
  EXPECT_EQ(w.packets, 2u);
  EXPECT_EQ(stats.TakeWindow().packets, 0u);
  stats.BeginConnection();
  stats.AddPacket(5'000'000'000, 10);  // a later connection: no gap, no lateness
  stats.AddPacket(5'010'000'000, 10);
  TimingFigures total = stats.Total();
  EXPECT_EQ(total.packets, 4u);
  EXPECT_EQ(total.gapMaxNs, 10'000'000);
  EXPECT_EQ(total.lateMaxNs, 0);
  EXPECT_DOUBLE_EQ(total.packetRate, 100.0);
}

}  // namespace
}  // namespace yebverify
