// The stream model: how the list and the packet rate become samples per
// packet, sampling schedules, counter cycles and packet sizes.
#include <gtest/gtest.h>

#include "StreamModel.h"

namespace yebverify {
namespace {

ParameterList ListOfRates(std::initializer_list<double> rates,
                          SourceKind source = SourceKind::kCustom) {
  ParameterList list;
  list.source = source;
  list.dayTag = 1;
  list.millisecondTag = 2;
  list.timeTag = 1;
  uint32_t tag = source == SourceKind::kCustom ? 3 : 2;
  for (double r : rates) list.parameters.push_back({tag++, r, "p"});
  return list;
}

TEST(StreamModelTest, ClassifiesByRateAgainstThePacketRate) {
  struct Case {
    double rate;
    uint32_t valuesPerPacket, packetsPerSample, maxValue;
  } cases[] = {
      {50, 1, 0, 50},          {200, 4, 0, 200},
      {400, 8, 0, 400},        {12.5, 0, 4, 1000},
      {30, 0, 1, 1000},        {50.0, 1, 0, 50},
      {1000.5, 20, 0, 1000},   {1e9, 20000000, 0, 1u << 24},
      {0.001, 0, 50000, 1000},
  };
  for (const Case& c : cases) {
    StreamModel model(ListOfRates({c.rate}), StreamShape{SourceKind::kCustom, 50, false});
    const RecordPlan& r = model.records()[0];
    EXPECT_EQ(r.valuesPerPacket, c.valuesPerPacket) << c.rate;
    EXPECT_EQ(r.packetsPerSample, c.packetsPerSample) << c.rate;
    EXPECT_EQ(r.maxValue, c.maxValue) << c.rate;
    EXPECT_EQ(r.step, 1u);
  }
}

TEST(StreamModelTest, NepSuperStressSlowCountersStepByTwo) {
  StreamModel model(ListOfRates({10, 100}, SourceKind::kNep),
                    StreamShape{SourceKind::kNep, 50, true});
  EXPECT_EQ(model.records()[0].step, 2u);
  EXPECT_EQ(model.records()[1].step, 1u);
  StreamModel custom(ListOfRates({10}), StreamShape{SourceKind::kCustom, 50, true});
  EXPECT_EQ(custom.records()[0].step, 1u);
}

TEST(StreamModelTest, PacketSizesFollowTheSizeRule) {
  EXPECT_EQ(
      StreamModel(ListOfRates({}), StreamShape{SourceKind::kCustom, 50, false}).packetSizeLimit(),
      1244u);
  EXPECT_EQ(StreamModel(ListOfRates({}, SourceKind::kNep), StreamShape{SourceKind::kNep, 50, false})
                .packetSizeLimit(),
            2404u);
  EXPECT_EQ(StreamModel(ListOfRates({50, 50}), StreamShape{SourceKind::kCustom, 50, false})
                .packetSizeLimit(),
            1256u);
  EXPECT_EQ(
      StreamModel(ListOfRates({50, 50}, SourceKind::kNep), StreamShape{SourceKind::kNep, 50, false})
          .packetSizeLimit(),
      2420u);
  // 4,200 adds 96 bytes (Custom) and 128 (NEP); 3,12.5 adds 18.
  EXPECT_EQ(StreamModel(ListOfRates({200, 200, 200, 200, 12.5, 12.5, 12.5}),
                        StreamShape{SourceKind::kCustom, 50, false})
                .packetSizeLimit(),
            1244u + 96 + 18);
  EXPECT_EQ(StreamModel(ListOfRates({200, 200, 200, 200}, SourceKind::kNep),
                        StreamShape{SourceKind::kNep, 50, false})
                .packetSizeLimit(),
            2404u + 128);
  EXPECT_EQ(
      StreamModel(ListOfRates({}), StreamShape{SourceKind::kCustom, 200, false}).packetSizeLimit(),
      32u + 12 + 300);
}

TEST(StreamModelTest, SlowParametersAreSampledOnSchedule) {
  StreamModel plain(ListOfRates({10}), StreamShape{SourceKind::kCustom, 50, false});
  StreamModel super(ListOfRates({10, 1}), StreamShape{SourceKind::kCustom, 50, true});
  std::vector<uint64_t> sampled;
  for (uint64_t p = 1; p <= 60; ++p) {
    if (plain.SamplesIn(plain.records()[0], p)) sampled.push_back(p);
  }
  EXPECT_EQ(sampled, (std::vector<uint64_t>{1, 6, 11, 16, 21, 26, 31, 36, 41, 46, 51, 56}));
  sampled.clear();
  for (uint64_t p = 1; p <= 110; ++p) {
    if (super.SamplesIn(super.records()[0], p)) sampled.push_back(p);
    EXPECT_EQ(super.SamplesIn(super.records()[1], p), 1u) << "1/s under super stress: every packet";
  }
  EXPECT_EQ(sampled,
            (std::vector<uint64_t>{1, 2, 3, 4, 5, 51, 52, 53, 54, 55, 101, 102, 103, 104, 105}));
}

TEST(StreamModelTest, SamplesInRangeMatchesCountingPacketByPacket) {
  for (bool superStress : {false, true}) {
    StreamModel model(ListOfRates({1, 3, 7, 10, 12.5, 30, 49, 50, 120}),
                      StreamShape{SourceKind::kCustom, 50, superStress});
    for (const RecordPlan& r : model.records()) {
      for (uint64_t first = 1; first < 140; first += 13) {
        for (uint64_t last = first - 1; last < first + 170; last += 7) {
          uint64_t counted = 0;
          for (uint64_t p = first; p <= last; ++p) counted += model.SamplesIn(r, p);
          ASSERT_EQ(model.SamplesInRange(r, first, last), counted)
              << first << ".." << last << " super " << superStress;
        }
      }
    }
  }
}

TEST(CounterTest, AdvanceMatchesSteppingAndWraps) {
  for (RecordPlan plan :
       {RecordPlan{3, 1, 0, 1, 50}, RecordPlan{3, 0, 5, 2, 1000}, RecordPlan{3, 0, 5, 1, 1000}}) {
    uint32_t stepped = 0;
    for (uint64_t k = 0; k < 2500; ++k) {
      ASSERT_EQ(AdvanceValue(plan, 0, k), stepped) << k;
      stepped = NextValue(plan, stepped);
    }
  }
  RecordPlan fast{3, 1, 0, 1, 50};
  EXPECT_EQ(NextValue(fast, 50), 0u);
  EXPECT_EQ(AdvanceValue(fast, 49, 51ull * 1000000 + 2), 0u);
}

TEST(CounterTest, OnlyCounterValuesAreAccepted) {
  RecordPlan slow{3, 0, 5, 2, 1000};
  uint32_t v = 0;
  EXPECT_TRUE(IsCounterValue(slow, FloatBits(998), v));
  EXPECT_EQ(v, 998u);
  EXPECT_FALSE(IsCounterValue(slow, FloatBits(999), v));   // odd under a step of 2
  EXPECT_FALSE(IsCounterValue(slow, FloatBits(1002), v));  // above the limit
  EXPECT_FALSE(IsCounterValue(slow, 0x80000000u, v));      // -0.0
  EXPECT_FALSE(IsCounterValue(slow, 0x7FC00000u, v));      // NaN
  EXPECT_FALSE(IsCounterValue(slow, 0x3F000000u, v));      // 0.5
}

}  // namespace
}  // namespace yebverify
