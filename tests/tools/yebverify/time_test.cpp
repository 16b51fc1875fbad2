// Data time text and the Custom time word rules across packets.
#include <gtest/gtest.h>

#include "TimeRules.h"

namespace yebverify {
namespace {

TEST(FormatDataTimeTest, DayAndTimeOfDayWithMilliseconds) {
  EXPECT_EQ(FormatDataTime(0), "000:00:00:00.000");
  EXPECT_EQ(FormatDataTime(86'400'000'000'000 + 980'000'000), "001:00:00:00.980");
  EXPECT_EQ(FormatDataTime(CustomDataTimeNs(1'334'999)), "001:00:02:13.499");
  EXPECT_EQ(FormatDataTime(1000ll * 86'400'000'000'000), "1000:00:00:00.000");
  EXPECT_EQ(FormatDataTime(CustomDataTimeNs(0xFFFFFFFFu)), "005:23:18:16.729");
}

// 50 packets/s: 200 time samples a packet.
class TimeRulesTest : public ::testing::Test {
 protected:
  // Feeds `packets` packets continuing evenly; false at the first refusal.
  bool Even(CustomTimeRules& rules, uint32_t& tick, int packets) {
    for (int i = 0; i < packets; ++i) {
      std::string expected;
      if (!rules.CheckFirst(tick, expected)) return false;
      tick += 200;
      rules.EndPacket(tick);
    }
    return true;
  }
  std::string expected_;
};

TEST_F(TimeRulesTest, PlainTimeStartsAtZeroAndRunsEvenly) {
  CustomTimeRules rules({}, 50, 200);
  rules.BeginConnection(0);
  uint32_t tick = 0;
  EXPECT_TRUE(Even(rules, tick, 600));
  EXPECT_FALSE(rules.CheckFirst(tick + 2, expected_));
  EXPECT_EQ(expected_, "120000");
}

TEST_F(TimeRulesTest, PlainTimeThatDoesNotStartAtZeroFails) {
  CustomTimeRules rules({}, 50, 200);
  rules.BeginConnection(0);
  EXPECT_FALSE(rules.CheckFirst(400, expected_));
  EXPECT_EQ(expected_, "0");
}

TEST_F(TimeRulesTest, JumpsComeEveryTenCycles) {
  CustomTimeRules rules({true, false}, 50, 200);
  rules.BeginConnection(0);
  uint32_t tick = 0;
  ASSERT_TRUE(Even(rules, tick, 480));
  tick += kTimeJumpTicks;  // the first jump, inside the first ten cycles
  ASSERT_TRUE(Even(rules, tick, 500));
  tick += kTimeJumpTicks;  // exactly 500 packets later
  ASSERT_TRUE(Even(rules, tick, 499));
  tick += kTimeJumpTicks;  // one packet early
  EXPECT_FALSE(rules.CheckFirst(tick, expected_));
}

TEST_F(TimeRulesTest, AMissingJumpIsReportedOnce) {
  CustomTimeRules rules({true, false}, 50, 200);
  rules.BeginConnection(0);
  uint32_t tick = 0;
  EXPECT_TRUE(Even(rules, tick, 501));
  EXPECT_FALSE(Even(rules, tick, 1));
  EXPECT_TRUE(Even(rules, tick, 100));
}

TEST_F(TimeRulesTest, JumpOptionAllowsAStartAtFifteenSeconds) {
  CustomTimeRules rules({true, false}, 50, 200);
  rules.BeginConnection(0);
  EXPECT_TRUE(rules.CheckFirst(kTimeJumpTicks, expected_));
}

TEST_F(TimeRulesTest, GapDoublesOnlyWhereTheTimeTextHasFiveColon) {
  CustomTimeRules rules({false, true}, 50, 200);
  rules.BeginConnection(0);
  // 001:00:04:59.980 has no "5:"; 001:00:05:00.000 has.
  uint32_t tick = 2'999'800;
  ASSERT_TRUE(rules.CheckFirst(tick, expected_));  // first connection: any start
  rules.EndPacket(tick += 200);
  EXPECT_FALSE(rules.CheckFirst(2 * 2'999'800, expected_));
  rules.EndPacket(2'999'800 + 400);
  EXPECT_TRUE(rules.CheckFirst(2 * 3'000'200, expected_))
      << FormatDataTime(CustomDataTimeNs(3'000'200));
}

TEST_F(TimeRulesTest, GapStartsANewTransferAtTwiceTheTimeReached) {
  CustomTimeRules rules({false, true}, 50, 200);
  rules.BeginConnection(0);
  uint32_t tick = 0;
  ASSERT_TRUE(Even(rules, tick, 10));
  rules.BeginConnection(3);  // three packets built while nobody listened
  EXPECT_FALSE(rules.CheckFirst(0, expected_));
  EXPECT_TRUE(rules.CheckFirst(2 * (2000 + 600), expected_));
}

TEST_F(TimeRulesTest, AGlitchOrAShiftCountsOnce) {
  for (bool shift : {false, true}) {
    CustomTimeRules rules({}, 50, 200);
    rules.BeginConnection(0);
    uint32_t tick = 0;
    ASSERT_TRUE(Even(rules, tick, 5));
    EXPECT_FALSE(rules.CheckFirst(tick + 40, expected_));
    rules.EndPacket(tick + 240);
    tick = shift ? tick + 240 : tick + 200;
    EXPECT_TRUE(Even(rules, tick, 5)) << "shift " << shift;
  }
}

}  // namespace
}  // namespace yebverify
