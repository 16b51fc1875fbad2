#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "packet/PacketBuilder.h"
#include "packet/SendBuffer.h"
#include "platform/TextOut.h"
#include "reference/PacketReference.h"

namespace {

using packettest::MakeModelRecord;
using packettest::ModelRecord;

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
         uint32_t{b[at + 3]} << 24;
}
uint16_t U16At(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
float FloatAt(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v = U32At(b, at);
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}

// A table, format and packet state of the test's own, set up the way the
// parameter reader and the run sequence leave them.
class PacketBuilderTest : public ::testing::Test {
 protected:
  void SetUpTable(std::vector<ModelRecord> records) {
    const bool nep = format.sourceType == packet::kSourceNep;
    uint32_t nextTag = static_cast<uint32_t>(format.tagOffset) + 3;
    uint32_t nextNepTag = static_cast<uint32_t>(format.tagOffset) + 2;
    for (ModelRecord& r : records) {
      if (nep) {
        r.nepTag = static_cast<int32_t>(nextNepTag++);
      } else {
        r.tag = static_cast<uint16_t>(nextTag++);
      }
    }
    model = records;
    packettest::LoadTable(records, table);
    state.timeValuesPerPacket = 10000 / format.packetRate;
    state.packetBufferSize = packettest::ModelBufferSize(format, records);
    state.packetHeader[0] = static_cast<uint32_t>(state.packetBufferSize - 4);
    modelState.timeValuesPerPacket = state.timeValuesPerPacket;
    modelState.packetBufferSize = state.packetBufferSize;
    ASSERT_TRUE(buffer.Allocate(state.packetBufferSize));
  }

  std::vector<uint8_t> Build() {
    if (format.sourceType == packet::kSourceNep) {
      int32_t length = packet::BuildNepPacket(format, table, state, buffer.data(), console);
      return std::vector<uint8_t>(buffer.data(), buffer.data() + length);
    }
    packet::BuildCustomPacket(format, table, state, buffer.data());
    return std::vector<uint8_t>(buffer.data(), buffer.data() + state.packetBufferSize);
  }

  std::vector<uint8_t> BuildModel() {
    return format.sourceType == packet::kSourceNep
               ? packettest::ModelNepPacket(format, model, modelState)
               : packettest::ModelCustomPacket(format, model, modelState);
  }

  packet::PacketFormat format;
  packet::ParmTable table;
  packet::PacketState state;
  packet::SendBuffer buffer;
  platform::StringTextOut console;
  std::vector<ModelRecord> model;
  packettest::ModelState modelState;
};

TEST_F(PacketBuilderTest, CustomPacketOfTwoParametersMatchesTheWorkedExample) {
  SetUpTable({MakeModelRecord(50, 50), MakeModelRecord(50, 50)});
  std::vector<uint8_t> p = Build();
  ASSERT_EQ(p.size(), 1256u);
  EXPECT_EQ(U32At(p, 0), 1252u);
  EXPECT_EQ(U32At(p, 4), 1u);
  EXPECT_EQ(U32At(p, 8), 1u);
  for (size_t at = 12; at < 32; at += 4) EXPECT_EQ(U32At(p, at), 0u);
  EXPECT_EQ(U16At(p, 32), 1);
  EXPECT_EQ(U16At(p, 34), 1);
  EXPECT_EQ(U32At(p, 36), 1u);
  EXPECT_EQ(U32At(p, 40), 1u);
  EXPECT_EQ(U16At(p, 44), 2);
  EXPECT_EQ(U16At(p, 46), 2);
  EXPECT_EQ(U32At(p, 48), 0u);
  EXPECT_EQ(U32At(p, 52), 1u);
  EXPECT_EQ(U32At(p, 1232 + 4), 198u);
  EXPECT_EQ(U32At(p, 1232 + 8), 199u);
  EXPECT_EQ(U16At(p, 1244), 3);
  EXPECT_EQ(U16At(p, 1246), 4);
  EXPECT_EQ(FloatAt(p, 1248), 0.0f);
  EXPECT_EQ(FloatAt(p, 1252), 0.0f);

  std::vector<uint8_t> second = Build();
  EXPECT_EQ(U32At(second, 4), 2u);
  EXPECT_EQ(U32At(second, 48), 200u);
  EXPECT_EQ(U32At(second, 1232 + 8), 399u);
  EXPECT_EQ(FloatAt(second, 1248), 1.0f);
  EXPECT_EQ(FloatAt(second, 1252), 1.0f);
}

TEST_F(PacketBuilderTest, NepPacketOfTwoParametersMatchesTheWorkedExample) {
  format.sourceType = packet::kSourceNep;
  SetUpTable({MakeModelRecord(50, 50), MakeModelRecord(50, 50)});
  std::vector<uint8_t> p = Build();
  ASSERT_EQ(p.size(), 2420u);
  EXPECT_EQ(state.nepPacketLength, 2420);
  EXPECT_EQ(U32At(p, 0), 2416u);
  EXPECT_EQ(U32At(p, 4), 0x80000001u);
  EXPECT_EQ(U32At(p, 8), 100000u);
  EXPECT_EQ(U32At(p, 12), 0u);
  EXPECT_EQ(U32At(p, 4 + 199 * 12 + 4), 20000000u);
  EXPECT_EQ(U32At(p, 2404), 2u);
  EXPECT_EQ(FloatAt(p, 2408), 0.0f);
  EXPECT_EQ(U32At(p, 2412), 3u);
  EXPECT_EQ(FloatAt(p, 2416), 0.0f);
}

TEST_F(PacketBuilderTest, EmptyTablesGiveHeaderAndTimeOnly) {
  SetUpTable({});
  std::vector<uint8_t> custom = Build();
  EXPECT_EQ(custom.size(), 1244u);
  EXPECT_EQ(U32At(custom, 1232 + 8), 199u);

  format.sourceType = packet::kSourceNep;
  state = packet::PacketState{};
  SetUpTable({});
  EXPECT_EQ(Build().size(), 2404u);
}

TEST_F(PacketBuilderTest, LoneSlowSampleStaysPendingButItsValueAdvances) {
  SetUpTable({MakeModelRecord(10, 50)});
  std::vector<uint8_t> p = Build();
  ASSERT_EQ(p.size(), 1250u);
  for (size_t at = 1244; at < p.size(); ++at) EXPECT_EQ(p[at], 0) << at;
  EXPECT_EQ(table.records[0].value, 1.0f);
}

TEST_F(PacketBuilderTest, ResidueOfAnEarlierLargerPacketIsCleared) {
  SetUpTable({MakeModelRecord(10, 50), MakeModelRecord(10, 50)});
  std::memset(buffer.data(), 0xAB, static_cast<size_t>(state.packetBufferSize));
  Build();  // both sampled: one pair written
  std::memset(buffer.data(), 0xAB, static_cast<size_t>(state.packetBufferSize));
  std::vector<uint8_t> p = Build();  // neither sampled
  for (size_t at = 1244; at < p.size(); ++at) EXPECT_EQ(p[at], 0) << at;
}

// Which packets of the first 60 sample a slow record, by option.
struct SlowSamplingCase {
  double rate;
  bool superStress;
  std::vector<int> sampledPackets;  // 1-based, within the first 12
};

class SlowSamplingTest : public PacketBuilderTest,
                         public ::testing::WithParamInterface<SlowSamplingCase> {};

TEST_P(SlowSamplingTest, SamplesInTheExpectedPackets) {
  const SlowSamplingCase& c = GetParam();
  format.sourceType = packet::kSourceNep;
  format.superStress = c.superStress;
  SetUpTable({MakeModelRecord(c.rate, 50)});
  std::vector<int> sampled;
  for (int packetNo = 1; packetNo <= 12; ++packetNo) {
    if (Build().size() > 2404u) sampled.push_back(packetNo);
  }
  EXPECT_EQ(sampled, c.sampledPackets);
}

INSTANTIATE_TEST_SUITE_P(Cases, SlowSamplingTest,
                         ::testing::Values(SlowSamplingCase{10, false, {1, 6, 11}},
                                           SlowSamplingCase{10, true, {1, 2, 3, 4, 5}},
                                           SlowSamplingCase{
                                               1, true, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
                                           SlowSamplingCase{12.5, false, {1, 5, 9}}));

TEST_F(PacketBuilderTest, NepSuperStressSlowValuesRiseByTwoAndWrapAbove1000) {
  format.sourceType = packet::kSourceNep;
  format.superStress = true;
  SetUpTable({MakeModelRecord(1, 50)});
  table.records[0].value = 998.0f;
  std::vector<uint8_t> p = Build();
  EXPECT_EQ(FloatAt(p, 2408), 998.0f);
  EXPECT_EQ(FloatAt(Build(), 2408), 1000.0f);
  EXPECT_EQ(FloatAt(Build(), 2408), 0.0f);
}

TEST_F(PacketBuilderTest, FastValuesWrapAboveTheirRate) {
  format.sourceType = packet::kSourceNep;
  SetUpTable({MakeModelRecord(400, 50)});
  table.records[0].value = 396.0f;
  std::vector<uint8_t> p = Build();  // 8 samples: 396..400, 0, 1, 2
  const float expected[] = {396, 397, 398, 399, 400, 0, 1, 2};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(FloatAt(p, 2404 + 8 * i + 4), expected[i]) << i;
  EXPECT_EQ(table.records[0].value, 3.0f);
}

TEST_F(PacketBuilderTest, CounterPastExactFloatRangeWrapsInsteadOfSticking) {
  packet::ParmRecord record;
  record.sampleRate = 1e9;
  record.value = 16777216.0f;
  EXPECT_EQ(packet::TakeSample(record, record.sampleRate), 16777216.0f);
  EXPECT_EQ(record.value, 0.0f);
}

TEST_F(PacketBuilderTest, NepByteTotalIsReportedOncePerCycleIn64Bits) {
  format.sourceType = packet::kSourceNep;
  SetUpTable({});
  state.nepByteTotal = int64_t{3} << 31;  // past the 32-bit range
  state.packetCounter = 50;
  Build();
  EXPECT_EQ(console.text(), "total size all packets = 6442450944\n");
  EXPECT_EQ(state.nepByteTotal, 2404);
  EXPECT_EQ(state.packetCounter, 1);
}

TEST_F(PacketBuilderTest, CustomTagsWrapAndATagOfZeroIsOverwritten) {
  format.tagOffset = 65531;  // parameter tags 65534, 65535, 0, 1
  SetUpTable({MakeModelRecord(50, 50), MakeModelRecord(50, 50), MakeModelRecord(50, 50),
              MakeModelRecord(50, 50), MakeModelRecord(50, 50)});
  std::vector<uint8_t> p = Build();
  // 65534+65535 pair, then tag 0 lands in the empty half and tag 1 replaces it.
  EXPECT_EQ(U16At(p, 1244), 65534);
  EXPECT_EQ(U16At(p, 1246), 65535);
  EXPECT_EQ(U16At(p, 1256), 1);
  EXPECT_EQ(U16At(p, 1258), 2);
  EXPECT_EQ(p, packettest::ModelCustomPacket(format, model, modelState));

  // The same tags on records of five samples in step, which are written a
  // block of alike records at a time: tag 0 has to break the block.
  SetUpTable(std::vector<ModelRecord>(6, MakeModelRecord(250, 50)));
  EXPECT_EQ(Build(), packettest::ModelCustomPacket(format, model, modelState));
}

// The 32-bit wire counters started just before they wrap: the time tick
// (and so the day field of the data time) and the sequence number go on
// through 0 modulo 2^32 as the model says, in both sources.
TEST_F(PacketBuilderTest, CountersStartedJustBeforeTheirWrapGoOnThroughZero) {
  struct Case {
    int32_t sourceType;
    uint32_t timeTick, sequence;
  };
  const Case cases[] = {
      {packet::kSourceCustom, 0xFFFFFFFFu - 150, 7},  // the tick wraps inside packet 1
      {packet::kSourceCustom, 0xFFFFFFFFu - 199, 7},  // ... exactly at its end
      {packet::kSourceCustom, 5, 0xFFFFFFFEu},        // sequence 0xFFFFFFFF, then 0
      {packet::kSourceNep, 0, 0xFFFFFFFEu},
  };
  for (const Case& c : cases) {
    format = packet::PacketFormat{};
    format.sourceType = c.sourceType;
    state = packet::PacketState{};
    modelState = packettest::ModelState{};
    SetUpTable({MakeModelRecord(50, 50), MakeModelRecord(100, 50)});
    state.timeTick = modelState.timeTick = c.timeTick;
    state.packetHeader[1] = state.packetHeader[2] = modelState.sequence = c.sequence;
    for (int packetNo = 0; packetNo < 3; ++packetNo) {
      ASSERT_EQ(Build(), BuildModel()) << c.timeTick << " " << c.sequence << " " << packetNo;
    }
    if (c.sourceType == packet::kSourceCustom) {
      EXPECT_EQ(state.packetHeader[1], c.sequence + 3);
      EXPECT_EQ(state.timeTick, c.timeTick + 600u);
    }
  }
}

// The builders against the model on random tables: both sources, every
// packet rate, super stress on and off, tag offsets that wrap, start values
// near the wrap limits, and runs of alike records.
TEST_F(PacketBuilderTest, MatchesTheReferenceModelOnRandomTables) {
  std::mt19937 random(20261208);
  const double rates[] = {0.5, 1,   10,    12.5, 30,   49.9,  50,   100,
                          199, 200, 333.3, 400,  1000, 10000, 20001};
  const int32_t packetRates[] = {50, 100, 200};
  const int32_t tagOffsets[] = {0, 100, 65520, -5, 2147483600};
  for (int round = 0; round < 36; ++round) {
    format = packet::PacketFormat{};
    state = packet::PacketState{};
    modelState = packettest::ModelState{};
    format.sourceType = round % 2 == 0 ? packet::kSourceCustom : packet::kSourceNep;
    format.packetRate = packetRates[(round / 2) % 3];
    format.superStress = (round / 6) % 2 == 1;
    format.tagOffset = tagOffsets[round % 5];
    std::vector<ModelRecord> records;
    const int count = std::uniform_int_distribution<int>(0, 40)(random);
    for (int i = 0; i < count; ++i) {
      // Runs of alike records (same rate, same value), as a "count,rate"
      // file makes them, besides records that differ from their neighbours.
      if (!records.empty() && std::uniform_int_distribution<int>(0, 1)(random) == 0) {
        records.push_back(records.back());
        continue;
      }
      ModelRecord r = MakeModelRecord(
          rates[std::uniform_int_distribution<size_t>(0, std::size(rates) - 1)(random)],
          format.packetRate);
      const double limit = r.packetsPerSample == 0 ? r.sampleRate : 1000.0;
      r.value = static_cast<float>(
          std::uniform_int_distribution<int>(0, static_cast<int>(limit))(random));
      records.push_back(r);
    }
    SetUpTable(records);
    for (int packetNo = 0; packetNo < format.packetRate + 3; ++packetNo) {
      std::vector<uint8_t> built = Build();
      std::vector<uint8_t> expected = BuildModel();
      ASSERT_EQ(built, expected) << "round " << round << " packet " << packetNo;
    }
  }
}

}  // namespace

namespace {

// Signals: the model takes each value from the formula, the builders from
// their tables and cursors. Rules are picked so that every pattern meets
// fast and slow records, tag 0, whole and broken periods, and the counter
// logged beside them; a logged sample's tap must point at its value.
class SignalPacketTest : public PacketBuilderTest {};

TEST_F(SignalPacketTest, MatchesTheReferenceModelAndTapsEveryLoggedSample) {
  packet::SignalsFile file;
  ASSERT_TRUE(packet::ParseSignals("* sine amplitude=3 period=0.1\n"
                                   "rate=10 square period=0.3 high=7\n"
                                   "rate=400 triangle min=-2 max=2 period=0.7\n"
                                   "rate=333.3 sawtooth period=0.05\n"
                                   "#3 steps values=1,2,3 hold=0.01\n"
                                   "#4 random seed=7\n"
                                   "#5 special\n"
                                   "#6 constant value=-1.25\n"
                                   "#7 counter\n",
                                   &file)
                  .ok());
  std::mt19937 random(26);
  const double rates[] = {0.5, 10, 50, 200, 333.3, 400, 1000, 20001};
  for (int round = 0; round < 24; ++round) {
    format = packet::PacketFormat{};
    state = packet::PacketState{};
    modelState = packettest::ModelState{};
    format.sourceType = round % 2 == 0 ? packet::kSourceCustom : packet::kSourceNep;
    format.packetRate = round % 3 == 0 ? 50 : 200;
    format.superStress = (round / 4) % 2 == 1;
    format.tagOffset = round % 5 == 0 ? 65532 : 0;  // a Custom tag 0 at position 1
    std::vector<ModelRecord> records;
    std::vector<std::string> names;
    std::vector<double> recordRates;
    const int count = std::uniform_int_distribution<int>(1, 20)(random);
    for (int i = 0; i < count; ++i) {
      const double rate = rates[std::uniform_int_distribution<size_t>(0, 7)(random)];
      records.push_back(MakeModelRecord(rate, format.packetRate));
      names.push_back("Parm" + std::to_string(i + 1));
      recordRates.push_back(rate);
    }
    const packet::SignalPlan plan(file, names, recordRates);
    for (int i = 0; i < count; ++i) {
      const int32_t id = plan.SourceOf(static_cast<size_t>(i));
      if (id != packet::SignalPlan::kCounter) records[i].signal = &plan.source(id).rule();
      records[i].position = static_cast<uint64_t>(i) + 1;
    }
    SetUpTable(records);
    packet::SignalRun run(&plan, count);
    for (int i = 0; i < count; i += 2) run.MarkLogged(i);
    std::vector<uint64_t> nextN(static_cast<size_t>(count), 0);
    for (int packetNo = 0; packetNo < format.packetRate + 3; ++packetNo) {
      std::vector<uint8_t> built =
          format.sourceType == packet::kSourceNep
              ? std::vector<uint8_t>(
                    buffer.data(),
                    buffer.data() +
                        packet::BuildNepPacket(format, table, state, buffer.data(), console, &run))
              : (packet::BuildCustomPacket(format, table, state, buffer.data(), &run),
                 std::vector<uint8_t>(buffer.data(), buffer.data() + state.packetBufferSize));
      ASSERT_EQ(built, BuildModel()) << "round " << round << " packet " << packetNo;
      for (const packet::SampleTap& tap : run.taps) {
        ASSERT_EQ(tap.record % 2, 0);
        ASSERT_LE(tap.offset + 4, built.size());
        // Taps come in order; a Custom sample left pending skips a number.
        ASSERT_GE(tap.n, nextN[tap.record]);
        nextN[tap.record] = tap.n + 1;
        const ModelRecord& r = records[tap.record];
        // A Custom value sits 4 or 8 bytes into its pair, its tag 0 or 2.
        const size_t inPair = (tap.offset - 44) % 12;
        const bool nep = format.sourceType == packet::kSourceNep;
        const uint32_t tag = nep ? U32At(built, tap.offset - 4)
                                 : U16At(built, tap.offset - inPair + (inPair == 8 ? 2 : 0));
        ASSERT_EQ(tag, nep ? static_cast<uint32_t>(table.records[tap.record].nepTag)
                           : table.records[tap.record].tag);
        if (r.signal != nullptr) {
          const float want = packet::SignalValue(*r.signal, r.sampleRate, r.position, tap.n);
          ASSERT_EQ(U32At(built, tap.offset), std::bit_cast<uint32_t>(want));
        }
      }
    }
  }
}

}  // namespace
