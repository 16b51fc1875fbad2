#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "packet/DecimalText.h"

namespace {

struct IntCase {
  const char* text;
  int32_t expected;
};

TEST(ReadDecimalInt32, FollowsTheLenientDecimalRulesAndSaturates) {
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
  };
  for (const IntCase& c : cases) EXPECT_EQ(packet::ReadDecimalInt32(c.text), c.expected) << c.text;
}

struct DoubleCase {
  const char* text;
  double expected;
};

TEST(ReadDecimalDouble, AcceptsOnlyFiniteDecimalNumbers) {
  const DoubleCase cases[] = {
      {"12.5", 12.5}, {" 50", 50},   {"-2", -2}, {"1e3", 1000},     {"1E+2x", 100},
      {"5.", 5},      {".5", 0.5},   {"1e", 1},  {"1e+", 1},        {"abc", 0},
      {"", 0},        {"inf", 0},    {"nan", 0}, {"infinity", 0},   {"0x10", 0},
      {"1e400", 0},   {"-1e400", 0}, {"+.", 0},  {"100,more", 100},
  };
  for (const DoubleCase& c : cases)
    EXPECT_EQ(packet::ReadDecimalDouble(c.text), c.expected) << c.text;
}

TEST(TruncateToInt32, ChecksTheRangeBeforeConverting) {
  EXPECT_EQ(packet::TruncateToInt32(1.67), 1);
  EXPECT_EQ(packet::TruncateToInt32(-1.67), -1);
  EXPECT_EQ(packet::TruncateToInt32(1e300), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(packet::TruncateToInt32(-1e300), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(packet::TruncateToInt32(std::nan("")), 0);
  EXPECT_EQ(packet::TruncateToInt32(std::numeric_limits<double>::infinity()),
            std::numeric_limits<int32_t>::max());
}

}  // namespace
