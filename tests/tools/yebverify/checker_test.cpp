// The checker against streams from the reference model: clean streams of
// every shape pass, and each kind of fault is found, named and counted once.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "ParameterList.h"
#include "StreamChecker.h"
#include "StreamModel.h"
#include "reference/ReferenceTool.h"

namespace yebverify {
namespace {

using yebverify_test::GetLe32;
using yebverify_test::PutFloat;
using yebverify_test::PutLe16;
using yebverify_test::PutLe32;
using yebverify_test::ReferenceConfig;
using yebverify_test::ReferenceTool;

// A reference tool and a checker built from the list the tool wrote.
class CheckerRig {
 public:
  explicit CheckerRig(const ReferenceConfig& config, TimeOptions time = {}) : tool_(config) {
    ParameterList list;
    const platform::Status parsed =
        config.nep ? ParseNepXmlList(tool_.ListText(), list) : ParsePrnList(tool_.ListText(), list);
    EXPECT_TRUE(parsed.ok()) << parsed.message();
    model_ = std::make_unique<StreamModel>(
        list, StreamShape{config.nep ? SourceKind::kNep : SourceKind::kCustom, config.packetRate,
                          config.superStress});
    checker_ = std::make_unique<StreamChecker>(*model_, time, log_);
    nep_ = config.nep;
  }

  ReferenceTool& tool() { return tool_; }
  StreamChecker& checker() { return *checker_; }
  const FailureLog& log() const { return log_; }

  void Connect() {
    checker_->BeginConnection();
    tool_.BeginTransfer();
    if (!nep_) checker_->CheckGreeting(tool_.Greeting().data());
  }
  void Check(const std::vector<uint8_t>& packet) {
    checker_->CheckPacket(packet.data(), packet.size());
  }
  void CheckNext(int packets) {
    for (int i = 0; i < packets; ++i) Check(tool_.NextPacket());
  }
  std::string Failures() const {
    std::string text = log_.CountsText();
    for (const FailureRecord& r : log_.described()) text += "\n" + FormatFailure(r);
    return text;
  }

 private:
  ReferenceTool tool_;
  FailureLog log_;
  std::unique_ptr<StreamModel> model_;
  std::unique_ptr<StreamChecker> checker_;
  bool nep_ = false;
};

std::vector<double> MixedRates(unsigned seed, int count) {
  std::mt19937 random(seed);
  const double choices[] = {1, 10, 12.5, 30, 49.9, 50, 100, 199, 200, 400, 1000, 1000.5, 3};
  std::vector<double> rates;
  for (int i = 0; i < count; ++i)
    rates.push_back(choices[random() % (sizeof choices / sizeof choices[0])]);
  return rates;
}

struct Shape {
  bool nep;
  int packetRate;
  bool superStress;
  int32_t tagOffset;
};

class CleanStreamTest : public ::testing::TestWithParam<Shape> {};

TEST_P(CleanStreamTest, EveryPacketPasses) {
  const Shape s = GetParam();
  CheckerRig rig(
      {s.nep, s.packetRate, s.superStress, s.tagOffset, MixedRates(7 + s.packetRate, 37)});
  rig.Connect();
  // Long enough for slow counters to wrap above 1000 and fast ones many times.
  rig.CheckNext(1300);
  EXPECT_EQ(rig.log().total(), 0u) << rig.Failures();
  EXPECT_EQ(rig.checker().packetsChecked(), 1300u);
  EXPECT_GT(rig.checker().samplesChecked(), 1300u * 10);
}

INSTANTIATE_TEST_SUITE_P(Shapes, CleanStreamTest,
                         ::testing::Values(Shape{false, 50, false, 0}, Shape{false, 100, false, 0},
                                           Shape{false, 200, false, 0}, Shape{false, 50, true, 0},
                                           Shape{false, 200, true, 7}, Shape{true, 50, false, 0},
                                           Shape{true, 100, false, 100}, Shape{true, 200, false, 0},
                                           Shape{true, 50, true, 0}, Shape{true, 200, true, 3},
                                           // Custom tags wrap past 65,535 to 0: a tag-0 sample is
                                           // displaced when it would start a pair.
                                           Shape{false, 50, false, 65510},
                                           Shape{false, 100, true, 65530}));

// Once the counters are learnt every byte of a packet is fixed by the
// rules, so changing any one byte anywhere must be found.
TEST(CheckerTest, AnySingleByteChangeIsFound) {
  std::mt19937 random(2024);
  for (const Shape& s : {Shape{false, 50, false, 0}, Shape{false, 100, true, 65530},
                         Shape{true, 200, false, 5}, Shape{true, 50, true, 0}}) {
    for (int trial = 0; trial < 60; ++trial) {
      CheckerRig rig({s.nep, s.packetRate, s.superStress, s.tagOffset, MixedRates(trial, 9)});
      rig.Connect();
      rig.CheckNext(2 + static_cast<int>(random() % 7));
      std::vector<uint8_t> packet = rig.tool().NextPacket();
      const size_t at = random() % packet.size();
      packet[at] ^= static_cast<uint8_t>(1u << (random() % 8));
      rig.Check(packet);
      EXPECT_GE(rig.log().total(), 1u)
          << "nep " << s.nep << " byte " << at << " of " << packet.size();
    }
  }
}

TEST(CheckerTest, ManyParametersWithRepeatedSixteenBitTags) {
  // 70,000 parameters: tags wrap and repeat, so only list order can tell
  // which parameter a tag stands for.
  CheckerRig rig({false, 200, false, 0, std::vector<double>(70000, 200.0)});
  rig.Connect();
  rig.CheckNext(5);
  EXPECT_EQ(rig.log().total(), 0u) << rig.Failures();
  EXPECT_EQ(rig.checker().samplesChecked(), 5u * 70000);
}

TEST(CheckerTest, JoiningAStreamThatRunsAlreadyPasses) {
  for (bool nep : {false, true}) {
    for (bool super : {false, true}) {
      CheckerRig rig({nep, 50, super, 0, MixedRates(3, 20)});
      rig.tool().BeginTransfer();
      for (int i = 0; i < 137; ++i) rig.tool().NextPacket();  // another client had these
      rig.Connect();
      rig.CheckNext(200);
      EXPECT_EQ(rig.log().total(), 0u)
          << "nep " << nep << " super " << super << ": " << rig.Failures();
    }
  }
}

TEST(CheckerTest, ValuesAndNumbersCarryAcrossAReconnect) {
  for (bool nep : {false, true}) {
    CheckerRig rig({nep, 100, false, 0, MixedRates(11, 25)});
    rig.Connect();
    rig.CheckNext(60);
    // Packets the tool built while the connection went down.
    for (int i = 0; i < 9; ++i) rig.tool().NextPacket();
    rig.Connect();
    rig.CheckNext(60);
    EXPECT_EQ(rig.log().total(), 0u) << rig.Failures();
    EXPECT_EQ(rig.checker().packetsMissedBetweenConnections(), 9u);
    EXPECT_EQ(rig.checker().lastPacketNumber(), 129u);
  }
}

TEST(CheckerTest, SequenceThatRestartsAfterAReconnectFails) {
  CheckerRig rig({false, 50, false, 0, {50.0, 100.0}});
  rig.Connect();
  rig.CheckNext(10);
  ReferenceTool fresh({false, 50, false, 0, {50.0, 100.0}});
  rig.checker().BeginConnection();
  rig.Check(fresh.NextPacket());
  EXPECT_EQ(rig.log().count(FailureKind::kSequence), 1u) << rig.Failures();
}

// Each fault is an edit of one packet of a clean stream.
struct Fault {
  const char* name;
  bool nep;
  FailureKind kind;
  void (*edit)(std::vector<uint8_t>& packet);
};

// Custom packets here: 50 packets/s, parameters at 50, 100 and 10 samples/s.
// Layout: header 0..31, day pair 32..43, 100 time pairs 44..1243, pairs from 1244.
constexpr size_t kPairs = 1244;
// NEP: length word, 200 time entries 4..2403, entries from 2404.
constexpr size_t kEntries = 2404;

const Fault kFaults[] = {
    {"skipped sequence number", false, FailureKind::kSequence,
     [](std::vector<uint8_t>& p) {
       PutLe32(p, 4, GetLe32(p, 4) + 1);
       PutLe32(p, 8, GetLe32(p, 8) + 1);
     }},
    {"sequence copy differs", false, FailureKind::kHeader,
     [](std::vector<uint8_t>& p) { PutLe32(p, 8, 77); }},
    {"nonzero header word", false, FailureKind::kHeader,
     [](std::vector<uint8_t>& p) { PutLe32(p, 20, 5); }},
    {"day pair value", false, FailureKind::kDay,
     [](std::vector<uint8_t>& p) { PutLe32(p, 40, 2); }},
    {"time word jumps", false, FailureKind::kTime,
     [](std::vector<uint8_t>& p) {
       for (size_t at = 44; at < kPairs; at += 12) {
         PutLe32(p, at + 4, GetLe32(p, at + 4) + 400);
         PutLe32(p, at + 8, GetLe32(p, at + 8) + 400);
       }
     }},
    {"time word inside the packet", false, FailureKind::kTime,
     [](std::vector<uint8_t>& p) { PutLe32(p, 44 + 12 * 50 + 8, 3); }},
    {"value that does not rise", false, FailureKind::kValue,
     [](std::vector<uint8_t>& p) { PutFloat(p, kPairs + 8, 0.0f); }},
    {"value that is no counter", false, FailureKind::kValue,
     [](std::vector<uint8_t>& p) { PutFloat(p, kPairs + 4, 2.5f); }},
    {"tag not in the list", false, FailureKind::kTag,
     [](std::vector<uint8_t>& p) { PutLe16(p, kPairs + 2, 999); }},
    {"tag out of list order", false, FailureKind::kTag,
     [](std::vector<uint8_t>& p) { PutLe16(p, kPairs, 2); }},  // the time word's tag
    {"neighbour's sample instead", false, FailureKind::kRate,
     [](std::vector<uint8_t>& p) { PutLe16(p, kPairs, 4); }},
    {"short packet", false, FailureKind::kSize,
     [](std::vector<uint8_t>& p) {
       p.resize(p.size() - 12);
       PutLe32(p, 0, static_cast<uint32_t>(p.size() - 4));
     }},
    {"bytes after the last pair", false, FailureKind::kPadding,
     [](std::vector<uint8_t>& p) { p.back() = 9; }},
    {"NEP time step", true, FailureKind::kNepTime,
     [](std::vector<uint8_t>& p) { PutLe32(p, 4 + 12 * 3 + 4, 1); }},
    {"NEP time tag word", true, FailureKind::kNepTime,
     [](std::vector<uint8_t>& p) { PutLe32(p, 4, 0x80000002u); }},
    {"NEP value", true, FailureKind::kValue,
     [](std::vector<uint8_t>& p) { PutFloat(p, kEntries + 4, 7.0f); }},
    {"NEP unknown tag", true, FailureKind::kTag,
     [](std::vector<uint8_t>& p) { PutLe32(p, kEntries, 4000); }},
    {"NEP missing sample", true, FailureKind::kSize,
     [](std::vector<uint8_t>& p) {
       p.resize(p.size() - 8);
       PutLe32(p, 0, static_cast<uint32_t>(p.size() - 4));
     }},
    {"NEP length word", true, FailureKind::kSize,
     [](std::vector<uint8_t>& p) { PutLe32(p, 0, GetLe32(p, 0) + 8); }},
};

class FaultTest : public ::testing::TestWithParam<Fault> {};

TEST_P(FaultTest, FoundOnceAndNamed) {
  const Fault& f = GetParam();
  CheckerRig rig({f.nep, 50, false, 0, {50.0, 100.0, 10.0}});
  rig.Connect();
  rig.CheckNext(12);
  std::vector<uint8_t> bad = rig.tool().NextPacket();
  f.edit(bad);
  rig.Check(bad);
  rig.CheckNext(30);
  EXPECT_EQ(rig.log().count(f.kind), 1u) << f.name << ": " << rig.Failures();
  ASSERT_FALSE(rig.log().described().empty());
  const FailureRecord& first = rig.log().described().front();
  EXPECT_EQ(first.kind, f.kind);
  EXPECT_EQ(first.packet, 13u);
  EXPECT_FALSE(first.text.empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTest, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                           std::string name;
                           for (const char* c = info.param.name; *c; ++c)
                             name += isalnum(*c) ? *c : '_';
                           return name;
                         });

TEST(CheckerTest, FailureNamesPacketOffsetExpectedAndFound) {
  CheckerRig rig({false, 50, false, 0, {50.0, 100.0}});
  rig.Connect();
  rig.CheckNext(4);
  std::vector<uint8_t> bad = rig.tool().NextPacket();
  PutFloat(bad, kPairs + 8, 1.0f);  // S01_Parm2 sends two a packet: 8 is its first in packet 5
  rig.Check(bad);
  ASSERT_EQ(rig.log().described().size(), 1u);
  EXPECT_EQ(FormatFailure(rig.log().described()[0]),
            "value: packet 5, offset 1252: S01_Parm2 (tag 4): expected 8, found 1");
}

TEST(CheckerTest, SlowSampleMissingWhereDueIsARateFailure) {
  // A parameter at 10/s before one at 50/s: the slow one is due in packets
  // 1, 6, 11, ...; packet 6 without it shows the fast one's tag too early.
  CheckerRig rig({true, 50, false, 0, {10.0, 50.0}});
  rig.Connect();
  rig.CheckNext(5);
  std::vector<uint8_t> p6 = rig.tool().NextPacket();
  ASSERT_EQ(p6.size(), kEntries + 16);
  std::copy(p6.begin() + kEntries + 8, p6.end(), p6.begin() + kEntries);
  p6.resize(p6.size() - 8);
  PutLe32(p6, 0, static_cast<uint32_t>(p6.size() - 4));
  rig.Check(p6);
  rig.CheckNext(10);
  EXPECT_EQ(rig.log().count(FailureKind::kRate), 1u) << rig.Failures();
  EXPECT_EQ(rig.log().count(FailureKind::kSize), 1u) << rig.Failures();
  EXPECT_EQ(rig.log().total(), 2u) << rig.Failures();
}

TEST(CheckerTest, WrongGreetingFails) {
  CheckerRig rig({false, 50, false, 0, {}});
  const uint8_t greeting[5] = {0x02, 0, 0, 0, 0};
  rig.checker().CheckGreeting(greeting);
  EXPECT_EQ(rig.log().count(FailureKind::kGreeting), 1u);
}

TEST(CheckerTest, CustomTimeStartsAtZeroOnEveryTransfer) {
  CheckerRig rig({false, 50, false, 0, {50.0}});
  rig.Connect();
  rig.CheckNext(3);
  rig.checker().BeginConnection();
  rig.tool().BeginTransfer(
      600);  // a transfer that carries the time on is wrong without the options
  rig.CheckNext(2);
  EXPECT_EQ(rig.log().count(FailureKind::kTime), 1u) << rig.Failures();
}

TEST(CheckerTest, TimeJumpEveryTenCyclesPassesWithTheOption) {
  CheckerRig rig({false, 50, false, 0, {50.0}}, TimeOptions{true, false});
  rig.Connect();
  for (int packet = 1; packet <= 1200; ++packet) {
    rig.Check(rig.tool().NextPacket());
    if (packet % 500 == 49) rig.tool().timeTick() += kTimeJumpTicks;  // the tenth cycle's end
  }
  EXPECT_EQ(rig.log().total(), 0u) << rig.Failures();
}

TEST(CheckerTest, TimeJumpWithoutTheOptionFails) {
  CheckerRig rig({false, 50, false, 0, {50.0}});
  rig.Connect();
  rig.CheckNext(49);
  rig.tool().timeTick() += kTimeJumpTicks;
  rig.CheckNext(10);
  // The time goes on from the jump, so it is named a jump, once.
  EXPECT_EQ(rig.log().count(FailureKind::kTimeJump), 1u) << rig.Failures();
  EXPECT_EQ(rig.log().total(), 1u) << rig.Failures();
}

// A long run reaches the 32-bit wire counters' wraps; the checker follows
// them through 0 and counts its own packets on in 64 bits.
TEST(CheckerTest, StreamsStartedJustBeforeAWrapPass) {
  struct Case {
    bool nep;
    uint32_t timeTick, sequence;
  };
  // Only /TimeGap lets a transfer start at a time other than 0 or 15 s.
  const Case cases[] = {
      {false, 0xFFFFFFFFu - 150, 5},  // the time tick (day 005 back to 001)
      {false, 0, 0xFFFFFFE1u},        // the sequence number, wrapping at the reconnect
      {true, 0, 0xFFFFFFE1u},
  };
  for (const Case& c : cases) {
    CheckerRig rig({c.nep, 50, false, 0, {50.0, 100.0}}, TimeOptions{false, c.timeTick != 0});
    rig.Connect();
    rig.tool().timeTick() = c.timeTick;
    rig.tool().sequence() = c.sequence;
    rig.CheckNext(30);
    if (c.timeTick == 0) {  // a new transfer carries the numbers on
      rig.Connect();
      rig.CheckNext(30);
    }
    EXPECT_EQ(rig.log().total(), 0u) << c.timeTick << " " << c.sequence << rig.Failures();
    EXPECT_EQ(rig.checker().packetsChecked(), c.timeTick == 0 ? 60u : 30u);
  }
}

TEST(CheckerTest, SampleCountPerPacketFollowsTheWorkedExample) {
  // Two parameters at 50/s, 50 packets/s: one pair per packet, 1,256 bytes.
  CheckerRig rig({false, 50, false, 0, {50.0, 50.0}});
  rig.Connect();
  std::vector<uint8_t> first = rig.tool().NextPacket();
  ASSERT_EQ(first.size(), 1256u);
  EXPECT_EQ(GetLe32(first, 0), 1252u);
  rig.Check(first);
  EXPECT_EQ(rig.checker().samplesChecked(), 2u);
  EXPECT_EQ(rig.log().total(), 0u) << rig.Failures();
}

}  // namespace
}  // namespace yebverify
