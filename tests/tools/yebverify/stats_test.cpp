// Arrival timing: the duration histogram and the figures built on it.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ArrivalStats.h"
#include "Thresholds.h"

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
    stats.AddPacket(t + i * 20'000'000 + (i % 10 == 9 ? 3'000'000 : 0), 1000,
                    static_cast<uint64_t>(i + 1));
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
  stats.AddPacket(0, 10, 1);
  stats.AddPacket(10'000'000, 10, 2);
  TimingFigures w = stats.TakeWindow();
  EXPECT_EQ(w.packets, 2u);
  EXPECT_EQ(stats.TakeWindow().packets, 0u);
  stats.BeginConnection();
  stats.AddPacket(5'000'000'000, 10, 9);  // a later connection: no gap, no lateness
  stats.AddPacket(5'010'000'000, 10, 10);
  TimingFigures total = stats.Total();
  EXPECT_EQ(total.packets, 4u);
  EXPECT_EQ(total.gapMaxNs, 10'000'000);
  EXPECT_EQ(total.lateMaxNs, 0);
  EXPECT_DOUBLE_EQ(total.packetRate, 100.0);
}

// When the packets of a tool that paces as yebstress does reach the reader:
// cycles of `rate` packets (the first one short), packet k of a cycle due k
// periods after its start, every cycle held to a second; a send held up
// for `stallNs` before packet `stallPacket` moves the schedule on by that
// much. Each arrival gets up to `jitterNs` of network delay.
std::vector<int64_t> ToolArrivals(int rate, int packets, int stallPacket, int64_t stallNs,
                                  int64_t jitterNs, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int64_t> jitter(0, jitterNs);
  const int64_t period = 1'000'000'000 / rate;
  std::vector<int64_t> arrivals;
  int64_t cycleStart = 7'000'000'000;
  int k = 0;
  for (int n = 1; n <= packets; ++n) {
    if (n == stallPacket) cycleStart += stallNs;
    arrivals.push_back(cycleStart + k * period + jitter(random));
    ++k;
    if ((n + 1) % rate == 0) {  // the tool's packet counter reached the rate
      cycleStart += 1'000'000'000;
      k = 0;
    }
  }
  return arrivals;
}

TimingFigures Figures(int rate, const std::vector<int64_t>& arrivals) {
  ArrivalStats stats(rate);
  stats.BeginConnection();
  for (size_t i = 0; i < arrivals.size(); ++i) stats.AddPacket(arrivals[i], 100, i + 1);
  return stats.Total();
}

TEST(ArrivalStatsTest, LatenessFollowsTheToolsCyclesAndShowsAStall) {
  for (int rate : {50, 100, 200}) {
    // Ten seconds on pace, the first cycle one packet short.
    TimingFigures paced = Figures(rate, ToolArrivals(rate, 10 * rate, 0, 0, 300'000, 1));
    EXPECT_LT(paced.lateP99Ns, 1'000'000) << rate;
    EXPECT_LT(paced.lateMaxNs, 1'000'000) << rate;
    // A 50 ms stall in the middle of the sixth cycle holds back the rest
    // of that cycle; later cycles start again on time.
    TimingFigures stalled =
        Figures(rate, ToolArrivals(rate, 10 * rate, 5 * rate + rate / 5, 50'000'000, 300'000, 2));
    EXPECT_NEAR(static_cast<double>(stalled.lateP99Ns), 50e6, 1e6) << rate;
    EXPECT_LT(stalled.lateMedianNs, 1'000'000) << rate;
    // The long-term rate is still the gaps over the time they span: the
    // last packet opens the eleventh cycle, ten seconds after the first.
    EXPECT_NEAR(paced.packetRate, (10.0 * rate - 1) / 10.0, 0.01) << rate;
  }
  // A stall just before a cycle begins is that cycle's first packet's.
  TimingFigures atCycle = Figures(50, ToolArrivals(50, 500, 100, 50'000'000, 0, 3));
  EXPECT_EQ(atCycle.lateMaxNs, 50'000'000);
}

// One transfer of the tool as the reader sees it: the tool's packet counter
// carries on from `firstPacket`, the transfer's first cycle starts at
// `startNs` and holds the rest of the tool's current cycle to a second (a
// later transfer's first cycle is short: 47 packets, then 765 ms of hold
// at 200/s). A stall of `stallNs` before the `stallAt`-th packet moves
// the schedule on.
void AddTransfer(ArrivalStats& stats, int rate, uint64_t firstPacket, int packets, int64_t startNs,
                 int stallAt = 0, int64_t stallNs = 0) {
  std::mt19937 random(static_cast<uint32_t>(firstPacket));
  std::uniform_int_distribution<int64_t> jitter(0, 400'000);
  const int64_t period = 1'000'000'000 / rate;
  int64_t cycleStart = startNs;
  int k = 0;
  stats.BeginConnection();
  for (int i = 0; i < packets; ++i) {
    const uint64_t n = firstPacket + static_cast<uint64_t>(i);
    if (i == stallAt && stallNs > 0) cycleStart += stallNs;
    stats.AddPacket(cycleStart + k * period + jitter(random), 1000, n);
    ++k;
    if ((n + 1) % static_cast<uint64_t>(rate) == 0) {
      cycleStart += 1'000'000'000;
      k = 0;
    }
  }
}

TEST(ArrivalStatsTest, SteadyRateLeavesOutTheShortFirstCycleOfEachTransfer) {
  struct Case {
    int rate, packets;
    std::vector<uint64_t> firsts;  // each transfer's first packet
  } cases[] = {
      {200, 150, {1, 153, 353}},  // --packets 150 --reconnect 2: 47 packets, then the hold
      {50, 250, {1, 260, 530}},   // 5-s transfers at 50/s
      {100, 100, {100, 250}},     // a transfer that starts on a cycle boundary
  };
  for (const Case& c : cases) {
    ArrivalStats stats(c.rate);
    int64_t start = 1'000'000'000;
    for (uint64_t first : c.firsts) {
      AddTransfer(stats, c.rate, first, c.packets, start);
      start += 20'000'000'000;
    }
    const TimingFigures f = stats.Total();
    EXPECT_NEAR(f.steadyRate, c.rate, c.rate * 0.005) << c.rate;
    VerifyOptions options;
    options.minRatePercent = 99;
    EXPECT_TRUE(CheckThresholds(options, f, c.rate)[0].met) << c.rate << " " << f.steadyRate;
  }
  // The plain rate over the same transfers is what the threshold used to
  // read, and fails the healthy stream.
  ArrivalStats plain(200);
  for (uint64_t first : {1ull, 153ull, 353ull}) AddTransfer(plain, 200, first, 150, 0);
  EXPECT_LT(plain.Total().packetRate, 0.8 * 200);

  // A stall after the first cycle is the stream's own, and shows.
  ArrivalStats stalled(50);
  AddTransfer(stalled, 50, 260, 250, 0, 120, 300'000'000);
  EXPECT_LT(stalled.Total().steadyRate, 0.96 * 50);
  EXPECT_GT(stalled.Total().steadyRate, 0.90 * 50);
}

TEST(ThresholdsTest, EachIsMetAtItsLimitAndBrokenPastIt) {
  TimingFigures run;
  run.lateP99Ns = 12'500'000;
  run.packetRate = 150.0;  // the threshold reads the steady rate, not this
  run.steadyRate = 180.0;
  struct Case {
    double maxLate, minRate;
    bool lateMet, rateMet;
  } cases[] = {{12.5, 90.0, true, true}, {12.4, 90.1, false, false}, {100, 99, true, false}};
  for (const Case& c : cases) {
    VerifyOptions options;
    options.maxLateMs = c.maxLate;
    options.minRatePercent = c.minRate;
    std::vector<ThresholdResult> r = CheckThresholds(options, run, 200);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].met, c.lateMet) << c.maxLate;
    EXPECT_EQ(r[1].met, c.rateMet) << c.minRate;
    EXPECT_DOUBLE_EQ(r[1].measured, 90.0);
  }
  VerifyOptions options;
  options.maxLateMs = 10;
  std::vector<ThresholdResult> r = CheckThresholds(options, run, 200);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(BrokenThresholdText(r[0]), "lateness p99 12.500 ms is above --max-late-ms 10");
  EXPECT_EQ(ThresholdsJson(r).dump(),
            "{\"max_late_ms\":{\"limit\":10.0,\"measured\":12.5,\"met\":false}}");
  EXPECT_TRUE(CheckThresholds(VerifyOptions(), run, 200).empty());
}

}  // namespace
}  // namespace yebverify
