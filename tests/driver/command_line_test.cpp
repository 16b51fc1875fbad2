#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/CommandLine.h"

namespace {

class CommandLineTest : public ::testing::Test {
 protected:
  driver::CommandLineResult Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "yebstress");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    return driver::ParseCommandLine(static_cast<int>(argv.size()), argv.data(), settings);
  }
  driver::RunSettings settings;
};

TEST_F(CommandLineTest, NoArgumentsKeepTheDefaults) {
  ASSERT_TRUE(Parse({}).ok());
  EXPECT_EQ(settings.sourceType, packet::kSourceCustom);
  EXPECT_EQ(settings.packetRate, 50);
  EXPECT_EQ(settings.port, 49000);
  EXPECT_EQ(settings.parmInfoFileName, "parmInfo.txt");
#ifdef _WIN32
  EXPECT_EQ(settings.outputDir, ".\\YEBFiles");
#else
  EXPECT_EQ(settings.outputDir, "./YEBFiles");
#endif
  EXPECT_EQ(settings.parmPrefix, "S01_");
}

TEST_F(CommandLineTest, PacketRateIsAPeriodInMilliseconds) {
  const std::pair<const char*, int32_t> cases[] = {{"20", 50}, {"10", 100},  {"5", 200},
                                                   {"15", 50}, {" +5", 200}, {"-5", 50}};
  for (auto [value, rate] : cases) {
    settings = driver::RunSettings{};
    ASSERT_TRUE(Parse({"/packetrate", value}).ok());
    EXPECT_EQ(settings.packetRate, rate) << value;
  }
}

TEST_F(CommandLineTest, OptionsMatchWholeWordsWithoutRegardToCase) {
  ASSERT_TRUE(
      Parse({"/SOURCETYPE", "nep", "/timejump", "/TIMEGAP", "/superstress", "/tagoffset", "-7",
             "/DataSource", "3", "/parmprefix", "AB_", "/OutputDir", "out", "/ParmInfo", "p.txt"})
          .ok());
  EXPECT_EQ(settings.sourceType, packet::kSourceNep);
  EXPECT_EQ(settings.sourceTypeText, "nep");
  EXPECT_EQ(settings.port, 49000);
  EXPECT_EQ(settings.timeJumpFlag, 1);
  EXPECT_EQ(settings.timeGapFlag, 1);
  EXPECT_EQ(settings.superStressFlag, 1);
  EXPECT_EQ(settings.tagOffset, -7);
  EXPECT_EQ(settings.dataSourceNumber, 3);
  EXPECT_EQ(settings.parmPrefix, "AB_");
  EXPECT_EQ(settings.outputDir, "out");
  EXPECT_EQ(settings.parmInfoFileName, "p.txt");
}

TEST_F(CommandLineTest, AValueThatSpellsAnOptionActsAsOneToo) {
  ASSERT_TRUE(Parse({"/ParmPrefix", "/TimeJump"}).ok());
  EXPECT_EQ(settings.parmPrefix, "/TimeJump");
  EXPECT_EQ(settings.timeJumpFlag, 1);
}

TEST_F(CommandLineTest, LaterOptionsWin) {
  ASSERT_TRUE(
      Parse({"/SourceType", "NEP", "/SourceType", "custom", "/PortId", "1", "/PortId", "2"}).ok());
  EXPECT_EQ(settings.sourceType, packet::kSourceCustom);
  EXPECT_EQ(settings.sourceTypeText, "custom");
  EXPECT_EQ(settings.port, 2);
}

TEST_F(CommandLineTest, PlaybackTakesTwoValues) {
  ASSERT_TRUE(Parse({"/Playback", "kestcustom", "rec.dat"}).ok());
  EXPECT_EQ(settings.playbackFlag, 1);
  EXPECT_EQ(settings.playbackFilePath, "rec.dat");
}

TEST_F(CommandLineTest, PlaybackSpeedIsADecimalAboveZeroAndAtMostAThousand) {
  EXPECT_EQ(settings.playbackSpeed, 1.0);
  const std::pair<const char*, double> accepted[] = {
      {"4", 4.0}, {"0.25", 0.25}, {"1000", 1000.0}, {"1e-3", 0.001}};
  for (auto [value, speed] : accepted) {
    settings = driver::RunSettings{};
    ASSERT_TRUE(Parse({"/playbackspeed", value}).ok()) << value;
    EXPECT_EQ(settings.playbackSpeed, speed) << value;
  }
  for (const char* value : {"0", "-2", "1000.5", "fast", "4x", "", "nan", "inf", "1e400"}) {
    settings = driver::RunSettings{};
    driver::CommandLineResult result = Parse({"/PlaybackSpeed", value});
    EXPECT_FALSE(result.ok()) << value;
    EXPECT_EQ(result.status.message(),
              "** Error - /PlaybackSpeed needs a number above 0 and at most 1000, not \"" +
                  std::string(value) + "\"");
  }
}

TEST_F(CommandLineTest, ConfigModesSetThePathAndTheirFlag) {
  ASSERT_TRUE(Parse({"/ConfigPerfMode", "a.config"}).ok());
  EXPECT_EQ(settings.configFilePath, "a.config");
  EXPECT_EQ(settings.perfModeFlag, 1);
  EXPECT_EQ(settings.parmModeFlag, 0);
  ASSERT_TRUE(Parse({"/ConfigParmMode", "b.config"}).ok());
  EXPECT_EQ(settings.configFilePath, "b.config");
  EXPECT_EQ(settings.parmModeFlag, 1);
}

// Each refusal is one line naming the word or value given, so that a typo
// never runs the tool on its defaults.
TEST_F(CommandLineTest, RefusesWhatCannotBeHonoured) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"/PortId"}, "** Error - The option /PortId needs a value"},
      {{"/Playback", "KestCustom"}, "** Error - The option /Playback needs 2 values"},
      {{"/OutputDir", std::string(1040, 'd')},
       "** Error - The value of /OutputDir is longer than 1039 characters"},
      {{"/ParmPrefix", std::string(260, 'p')},
       "** Error - The value of /ParmPrefix is longer than 259 characters"},
      {{"/PortId", "65536"}, "** Error - /PortId 65536 is outside 0 to 65535"},
      {{"/PortId", "99999999999999999999"},
       "** Error - /PortId 99999999999999999999 is outside 0 to 65535"},
      {{"/PortId", "-1"}, "** Error - /PortId -1 is outside 0 to 65535"},
      {{"/PortId", "abc"}, "** Error - /PortId abc: not a whole number"},
      {{"/PortId", "23008x"}, "** Error - /PortId 23008x: not a whole number"},
      {{"/PortId", ""}, "** Error - /PortId : not a whole number"},
      {{"/Connections", "0"}, "** Error - /Connections 0 is outside 1 to 16"},
      {{"/Connections", "17"}, "** Error - /Connections 17 is outside 1 to 16"},
      {{"/TagOffset", "2147483648"},
       "** Error - /TagOffset 2147483648 is outside -2147483648 to "
       "2147483647"},
      {{"/PacketRate", "5ms"}, "** Error - /PacketRate 5ms: not a whole number"},
      {{"/Port", "23008"}, "** Error - /Port is not an option; did you mean /PortId?"},
      {{"/PacketRat", "5"}, "** Error - /PacketRat is not an option; did you mean /PacketRate?"},
      {{"--portid", "5"}, "** Error - --portid is not an option; did you mean /PortId?"},
      {{"/SuperStres"}, "** Error - /SuperStres is not an option; did you mean /SuperStress?"},
      {{"hello"}, "** Error - hello is not an option; /? lists the options"},
      {{"/PortId", "1", "2"}, "** Error - 2 is not an option; /? lists the options"},
      {{"/Playback", "Custom", "f.dat"},
       "** Error - /Playback Custom: the playback type must be KestCustom, then the file"},
      {{"/SourceType", "Nepp"}, "** Error - /SourceType Nepp: neither Custom nor NEP"},
  };
  for (const auto& [args, message] : cases) {
    settings = driver::RunSettings{};
    driver::CommandLineResult result = Parse(args);
    EXPECT_FALSE(result.ok()) << message;
    EXPECT_EQ(result.status.message(), message);
  }
  settings = driver::RunSettings{};
  EXPECT_TRUE(Parse({"/OutputDir", std::string(1039, 'd'), "/PortId", "65535"}).ok());
  EXPECT_EQ(settings.port, 65535);
}

TEST_F(CommandLineTest, DefaultedValuesAreNamed) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"/PacketRate", "15"},
       "** Warning - /PacketRate 15 is not 20, 10 or 5; 20 (50 packets per second) is used\n"},
      // Values are no option words, even when they begin with '/', and a
      // value that spells an option still acts without a warning.
      {{"/ParmInfo", "/tmp/p.txt", "/Playback", "kestcustom", "/rec.dat", "/PacketRate", "10",
        "/ParmPrefix", "/TimeJump"},
       ""},
  };
  for (const auto& [args, warnings] : cases) {
    settings = driver::RunSettings{};
    driver::CommandLineResult result = Parse(args);
    EXPECT_TRUE(result.ok()) << result.status.message();
    EXPECT_EQ(result.warnings, warnings) << args[0];
  }
}

// Each option reaches its own field with its own limits; a refused value
// leaves what the option wrote before reading it.
TEST_F(CommandLineTest, EachOptionWritesItsFieldWithinItsLimits) {
  using S = const driver::RunSettings&;
  struct Case {
    std::vector<std::string> args;
    const char* message;  // "" when accepted
    bool (*holds)(S);
  };
  const Case cases[] = {
      {{"/Transfers", "3"}, "", [](S s) { return s.transfers == 3; }},
      {{"/Transfers", "0"},
       "** Error - /Transfers 0 is outside 1 to 2147483647",
       [](S s) { return s.transfers == 0; }},
      {{"/Duration", "2.5"}, "", [](S s) { return s.durationSeconds == 2.5; }},
      {{"/Duration", "0"},
       "** Error - /Duration 0: not a number of seconds above 0 and at most 1000000000",
       [](S s) { return s.durationSeconds == 0.0; }},
      {{"/Bind", "10.0.0.1"},
       "",
       [](S s) { return s.bindAddress == "10.0.0.1" && s.bindIp == 0x0a000001; }},
      {{"/MetricsBind", "10.0.0.2"},
       "",
       [](S s) { return s.metricsBind == "10.0.0.2" && s.metricsBindIp == 0x0a000002; }},
      {{"/MetricsBind", "300.0.0.1"},
       "** Error - /MetricsBind 300.0.0.1: not an IPv4 address such as 127.0.0.1",
       [](S s) { return s.metricsBind == "127.0.0.1"; }},
      {{"/MetricsPort", "0"},
       "** Error - /MetricsPort 0 is outside 1 to 65535",
       [](S s) { return s.metricsPort == -1; }},
      {{"/PlaybackLoop", "0"}, "", [](S s) { return s.playbackLoops == 0 && s.playbackScan; }},
      {{"/PlaybackLoop", "1000000001"},
       "** Error - /PlaybackLoop 1000000001 is outside 0 to 1000000000",
       [](S s) { return s.playbackLoops == 1 && !s.playbackScan; }},
      {{"/PlaybackMaxGap", "3600000"},
       "",
       [](S s) { return s.playbackMaxGapMs == 3'600'000 && s.playbackScan; }},
      {{"/PlaybackMaxGap", "0"},
       "** Error - /PlaybackMaxGap 0 is outside 1 to 3600000",
       [](S s) { return !s.playbackScan; }},
      {{"/PlaybackStart", "0"}, "", [](S s) { return s.playbackScan; }},
      {{"/PlaybackStart", "429496.5"},
       "** Error - /PlaybackStart needs seconds from 0 to 429496, not \"429496.5\"",
       [](S s) { return !s.playbackScan; }},
      {{"/PlaybackInfo"}, "", [](S s) { return s.playbackInfo && s.playbackScan; }},
      {{"/Signals", "g", "/FaultScript", "f", "/StatsFile", "j", "/Connections", "16"},
       "",
       [](S s) {
         return s.signalsPath == "g" && s.faultScriptPath == "f" && s.statsFilePath == "j" &&
                s.connections == 16;
       }},
      {{"/ValueLog", "v.csv", "/ValueLogParams", "*"},
       "",
       [](S s) { return s.valueLogPath == "v.csv" && s.valueLogParams == "*"; }},
      {{"/ValueLog", "v.csv"},
       "** Error - /ValueLog needs /ValueLogParams SELECTOR (*, NAME, rate=R, #A-B)",
       [](S s) { return s.valueLogPath == "v.csv"; }},
      {{"/ValueLogParams", "*"},
       "** Error - /ValueLogParams needs /ValueLog FILE",
       [](S s) { return s.valueLogParams == "*"; }},
      {{"/ConfigParmMode", std::string(1040, 'c')},
       "** Error - The value of /ConfigParmMode is longer than 1039 characters",
       [](S s) { return s.parmModeFlag == 1 && s.configFilePath.empty(); }},
      {{"/Playback", "KestCustom", std::string(2600, 'f')},
       "** Error - The value of /Playback is longer than 2599 characters",
       [](S s) { return s.playbackFlag == 1 && s.playbackFilePath.empty(); }},
  };
  for (const Case& c : cases) {
    settings = driver::RunSettings{};
    EXPECT_EQ(Parse(c.args).status.message(), c.message) << c.args[0];
    EXPECT_TRUE(c.holds(settings)) << c.args[0] << " " << c.message;
  }
}

// The help and version words win wherever they stand, even beside words
// that would be refused.
TEST_F(CommandLineTest, HelpAndVersionWordsWinOverEverythingElse) {
  using Action = driver::CommandLineResult::Action;
  const std::pair<std::vector<std::string>, Action> cases[] = {
      {{"/?"}, Action::kHelp},          {{"-h"}, Action::kHelp},
      {{"--HELP"}, Action::kHelp},      {{"/PortId", "abc", "/help"}, Action::kHelp},
      {{"/version"}, Action::kVersion}, {{"/Bogus", "--version"}, Action::kVersion},
  };
  for (const auto& [args, action] : cases) {
    driver::CommandLineResult result = Parse(args);
    EXPECT_TRUE(result.ok()) << args[0];
    EXPECT_EQ(result.action, action) << args[0];
  }
  // Every option appears in the usage text.
  const std::string usage = driver::UsageText();
  for (const char* option : {"/OutputDir", "/SourceType", "/ConfigParmMode", "/ConfigPerfMode",
                             "/ParmInfo", "/PacketRate", "/TimeJump", "/TimeGap", "/Playback",
                             "/SuperStress", "/PortId", "/TagOffset", "/DataSource", "/ParmPrefix",
                             "/PlaybackSpeed", "/FaultScript", "/StatsFile"}) {
    const std::string line = std::string("\n  ") + option;
    const size_t at = usage.find(line);
    ASSERT_NE(at, std::string::npos) << option;
    EXPECT_TRUE(usage[at + line.size()] == ' ' || usage[at + line.size()] == '\n') << option;
  }
}

}  // namespace
