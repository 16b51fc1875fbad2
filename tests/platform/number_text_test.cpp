#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string_view>

#include "platform/NumberText.h"

namespace {

struct IntCase {
  const char* text;
  int32_t expected;
};

TEST(ReadInt32, FollowsTheLenientDecimalRulesAndSaturates) {
  const IntCase cases[] = {
      {"49000", 49000},
      {"  \t-12", -12},
      {"+7", 7},
      {"12abc", 12},
      {"abc", 0},
      {"", 0},
      {"0x1F", 0},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"99999999999", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-99999999999999999999", -2147483647 - 1},
      {"- 5", 0},
      {"10.9", 10},
      {"12|34", 12},
  };
  for (const IntCase& c : cases) {
    EXPECT_EQ(platform::ReadInt32(std::string_view(c.text)), c.expected) << c.text;
    EXPECT_EQ(platform::ReadInt32(c.text), c.expected) << c.text << " in place";
  }
  EXPECT_EQ(platform::ReadInt32(static_cast<const char*>(nullptr)), 0);
}

// The in-place forms a where clause compares row fields with.
TEST(ReadUInt32AndReadDouble, ReadRowFieldsInPlace) {
  const struct {
    const char* text;
    uint32_t unsignedValue;
    double doubleValue;
  } cases[] = {
      {"4000000000|x", 4000000000u, 4e9},
      {"99999999999", 0xFFFFFFFFu, 99999999999.0},
      {"-1", 0xFFFFFFFFu, -1.0},
      {" +2.5e1|", 2u, 25.0},
      {".5", 0u, 0.5},
      {"1e400", 1u, HUGE_VAL},  // a where clause sees the infinity
      {"-1e400", 0xFFFFFFFFu, -HUGE_VAL},
      {"0x10", 0u, 0.0},
      {"inf", 0u, 0.0},
      {"", 0u, 0.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::ReadUInt32(c.text), c.unsignedValue) << c.text;
    EXPECT_EQ(platform::ReadDouble(c.text), c.doubleValue) << c.text;
  }
}

struct DoubleCase {
  const char* text;
  double expected;
};

TEST(ReadFiniteDouble, AcceptsOnlyFiniteDecimalNumbers) {
  const DoubleCase cases[] = {
      {"12.5", 12.5}, {" 50", 50},   {"-2", -2}, {"1e3", 1000},     {"1E+2x", 100},
      {"5.", 5},      {".5", 0.5},   {"1e", 1},  {"1e+", 1},        {"abc", 0},
      {"", 0},        {"inf", 0},    {"nan", 0}, {"infinity", 0},   {"0x10", 0},
      {"1e400", 0},   {"-1e400", 0}, {"+.", 0},  {"100,more", 100},
  };
  for (const DoubleCase& c : cases)
    EXPECT_EQ(platform::ReadFiniteDouble(c.text), c.expected) << c.text;
}

TEST(TruncateToInt32, ChecksTheRangeBeforeConverting) {
  EXPECT_EQ(platform::TruncateToInt32(1.67), 1);
  EXPECT_EQ(platform::TruncateToInt32(-1.67), -1);
  EXPECT_EQ(platform::TruncateToInt32(1e300), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(platform::TruncateToInt32(-1e300), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(platform::TruncateToInt32(std::nan("")), 0);
  EXPECT_EQ(platform::TruncateToInt32(std::numeric_limits<double>::infinity()),
            std::numeric_limits<int32_t>::max());
}

}  // namespace
