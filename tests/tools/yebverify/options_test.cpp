// The yebverify command line.
#include "Options.h"

#include <gtest/gtest.h>

namespace yebverify {
namespace {

TEST(OptionsTest, DefaultsMatchTheStressToolsDefaults) {
  VerifyOptions o;
  ASSERT_TRUE(ParseOptions({}, o).ok());
  EXPECT_EQ(o.host, "127.0.0.1");
  EXPECT_EQ(o.port, 49000);
  EXPECT_EQ(o.source, SourceKind::kCustom);
  EXPECT_EQ(ListPathFor(o), "./YEBFiles/zarnYEB.prn");
  EXPECT_EQ(o.packetRate, 50);
  EXPECT_EQ(o.reconnects, 0);
  o.source = SourceKind::kNep;
  EXPECT_EQ(ListPathFor(o), "./YEBFiles/NEP.xml");
}

TEST(OptionsTest, ReadsEveryOption) {
  VerifyOptions o;
  const platform::Status parsed = ParseOptions({"--host",
                                                "localhost",
                                                "--port",
                                                "50001",
                                                "--source",
                                                "nep",
                                                "--list",
                                                "a/NEP.xml",
                                                "--packets",
                                                "40",
                                                "--packet-rate",
                                                "200",
                                                "--super-stress",
                                                "--tag-offset",
                                                "-5",
                                                "--time-jump",
                                                "--time-gap",
                                                "--reconnect",
                                                "2",
                                                "--connect-wait",
                                                "0",
                                                "--json",
                                                "--quiet",
                                                "--max-late-ms",
                                                "2.5",
                                                "--min-rate-percent",
                                                "99"},
                                               o);
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  EXPECT_EQ(o.host, "localhost");
  EXPECT_EQ(o.port, 50001);
  EXPECT_EQ(o.source, SourceKind::kNep);
  EXPECT_EQ(ListPathFor(o), "a/NEP.xml");
  EXPECT_EQ(o.packets, 40u);
  EXPECT_EQ(o.packetRate, 200);
  EXPECT_TRUE(o.superStress);
  EXPECT_EQ(o.tagOffset, -5);
  EXPECT_TRUE(o.timeJump && o.timeGap && o.json && o.quiet);
  EXPECT_EQ(o.reconnects, 2);
  EXPECT_EQ(o.connectWaitSeconds, 0.0);
  EXPECT_EQ(o.maxLateMs, 2.5);
  EXPECT_EQ(o.minRatePercent, 99.0);
}

TEST(OptionsTest, UsageErrorsSayWhatIsWrong) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{"--port"}, "--port needs a value"},
      {{"--port", "0"}, "--port takes a port number 1..65535, not \"0\""},
      {{"--port", "49000x"}, "--port takes a port number 1..65535, not \"49000x\""},
      {{"--source", "Custom"}, "--source takes custom, nep or playback, not \"Custom\""},
      {{"--packet-rate", "20"},
       "--packet-rate takes 50, 100 or 200 packets per second, not \"20\""},
      {{"--seconds", "inf"}, "--seconds takes a positive number of seconds, not \"inf\""},
      {{"--seconds", "-1"}, "--seconds takes a positive number of seconds, not \"-1\""},
      {{"--packets", "0"}, "--packets takes a positive count, not \"0\""},
      {{"--seconds", "2", "--packets", "3"}, "give --seconds or --packets, not both"},
      {{"--tag-offset", "99999999999"}, "--tag-offset takes a 32-bit integer, not \"99999999999\""},
      {{"/PortId"}, "unknown option \"/PortId\""},
      {{"--max-late-ms", "-1"}, "--max-late-ms takes a number 0 or more, not \"-1\""},
      {{"--min-rate-percent", "nan"}, "--min-rate-percent takes a number 0 or more, not \"nan\""},
  };
  for (const Case& c : cases) {
    VerifyOptions o;
    const platform::Status parsed = ParseOptions(c.args, o);
    EXPECT_FALSE(parsed.ok()) << c.error;
    EXPECT_EQ(parsed.message(), c.error);
  }
}

}  // namespace
}  // namespace yebverify
