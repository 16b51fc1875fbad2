// The parameter set from an existing configuration: the exact files of perf
// and parm mode, the rate rules, and the configurations both refuse.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "artefacts/ParmInfoFile.h"
#include "artefacts/ParmSetFromConfig.h"
#include "config_rows_support.h"
#include "packet/PacketFormat.h"
#include "packet/PacketState.h"
#include "packet/ParmTable.h"
#include "support/ChildProcess.h"

namespace {

using artefacts::BuildParmSetParmModeFrom;
using artefacts::BuildParmSetPerfModeFrom;
using artefactstest::ParameterRow;
using artefactstest::WriteConfigWithRows;

class ParmSetTest : public ::testing::TestWithParam<const char*> {
 protected:
  // The configuration with `rows`, plain or zipped by the test parameter.
  std::string Config(const std::vector<ParameterRow>& rows) {
    const std::string path = dir.file(std::string("site") + GetParam());
    EXPECT_TRUE(WriteConfigWithRows(path, rows));
    return path;
  }
  std::string Read(const char* name) { return testsupport::ReadWholeFile(dir.file(name)); }

  testsupport::TempDir dir;
};

TEST_P(ParmSetTest, PerfModeCountsEveryRowAndGroupsTheLegalRatesInFirstSeenOrder) {
  const std::string config = Config({{"A", "float", "50", "TPP"},
                                     {"B", "float", "50", "Derived"},
                                     {"C", "int", "12.5", "tpp"},
                                     {"D", "float", "0", "TPP"},
                                     {"E", "float", "", ""}});
  ASSERT_TRUE(BuildParmSetPerfModeFrom(config, dir.file("parmInfo2.txt")));
  EXPECT_EQ(Read("parmInfo2.txt"),
            "// Total Parameters:( 5 ), Aggregate Rate:( 112.500000 ), TPP: ( 3 ), Derived: ( 2 )"
            "\r\n\r\n"
            "// ** Note - Total Illegal Parameters: ( 2 ) - Sample Rates <= 0.0\r\n"
            " 2,50.000000\r\n"
            " 1,12.500000\r\n");
}

TEST_P(ParmSetTest, ParmModeListsTheTppRowsWithTheirNamesRatesAndTypeCodes) {
  const std::string config = Config({{"Alpha", "float", "25", "TPP"},
                                     {"Beta", "float", "100", "Derived"},
                                     {"Gamma", "discrete", "0", "TPP"},
                                     {"Delta", "int", "5", "Derived"}});
  ASSERT_TRUE(
      BuildParmSetParmModeFrom(config, 0, dir.file("parmInfo2.txt"), dir.file("zarnYEB.prn")));
  EXPECT_EQ(Read("zarnYEB.prn"),
            "1 TIME$_DAY 100.000000 1\r\n"
            "2 TIME$_MILLISEC 10000.000000 1\r\n"
            "3 Alpha 25.000000 2\r\n"
            "4 Gamma 10.000000 1\r\n");
  EXPECT_EQ(
      Read("parmInfo2.txt"),
      " 1,25.000000\r\n"
      " 1,10.000000\r\n"
      "\r\n\r\n"
      "// Total Parameters:( 4 ), Aggregate Rate:( 10135.000000 ), Total TPP Parms: ( 2 )\r\n");
}

INSTANTIATE_TEST_SUITE_P(PlainAndZipped, ParmSetTest, ::testing::Values(".config", ".zip"));

// Perf-mode rate rules: exact equality groups, first-seen order, and what
// counts as illegal.
struct RateCase {
  std::vector<std::string> rates;
  std::string groups;  // the group lines expected
  int illegal;
};

class PerfModeRateTest : public ::testing::TestWithParam<RateCase> {};

TEST_P(PerfModeRateTest, GroupsAndIllegalRates) {
  const RateCase& c = GetParam();
  testsupport::TempDir dir;
  std::vector<ParameterRow> rows;
  for (const std::string& rate : c.rates) rows.push_back({"P", "float", rate, "TPP"});
  ASSERT_TRUE(WriteConfigWithRows(dir.file("c.config"), rows));
  ASSERT_TRUE(BuildParmSetPerfModeFrom(dir.file("c.config"), dir.file("p.txt")));
  const std::string text = testsupport::ReadWholeFile(dir.file("p.txt"));
  const std::string note = "// ** Note - Total Illegal Parameters: ( " + std::to_string(c.illegal) +
                           " ) - Sample Rates <= 0.0\r\n";
  const size_t header = text.find("\r\n\r\n");
  ASSERT_NE(header, std::string::npos) << text;
  EXPECT_EQ(text.substr(header + 4), (c.illegal > 0 ? note : "") + c.groups);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, PerfModeRateTest,
    ::testing::Values(RateCase{{"50", "50.0"}, " 2,50.000000\r\n", 0},
                      RateCase{{"50", "50.000001"}, " 1,50.000000\r\n 1,50.000001\r\n", 0},
                      RateCase{{"12.5", "50", "12.5"}, " 2,12.500000\r\n 1,50.000000\r\n", 0},
                      // Shows as 0.000000: the reader would drop the line.
                      RateCase{{"0.0000004", "0.000001"}, " 1,0.000001\r\n", 1},
                      RateCase{{"-5", "abc", "inf", "nan", "1e400"}, "", 5}));

TEST(ParmModeTags, ThePrnListCarriesTheTagsThePacketsCarry) {
  // An offset near the top of the 16-bit range wraps the tags through 0.
  testsupport::TempDir dir;
  ASSERT_TRUE(WriteConfigWithRows(dir.file("c.config"), {{"A", "float", "50", "TPP"},
                                                         {"B", "Int", "0.0000001", "TPP"},
                                                         {"C", "FLOAT", "200", "TPP"},
                                                         {"D", "double", "1", "TPP"}}));
  const int32_t offset = 65533;
  ASSERT_TRUE(BuildParmSetParmModeFrom(dir.file("c.config"), offset, dir.file("parmInfo2.txt"),
                                       dir.file("zarnYEB.prn")));
  EXPECT_EQ(testsupport::ReadWholeFile(dir.file("zarnYEB.prn")),
            "65534 TIME$_DAY 100.000000 1\r\n"
            "65535 TIME$_MILLISEC 10000.000000 1\r\n"
            "0 A 50.000000 2\r\n"
            "1 B 10.000000 0\r\n"
            "2 C 200.000000 2\r\n"
            "3 D 1.000000 2\r\n");

  // The reader gives record k the tag and rate of PRN line k + 3.
  packet::PacketFormat format;
  format.tagOffset = offset;
  packet::ParmTable table;
  packet::PacketState state;
  std::istringstream in(testsupport::ReadWholeFile(dir.file("parmInfo2.txt")));
  ASSERT_TRUE(artefacts::ReadParmInfo(in, "parmInfo2.txt", format, table, state).ok());
  ASSERT_EQ(table.parmCount, 4);
  const double rates[] = {50.0, 10.0, 200.0, 1.0};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(table.records[k].tag, static_cast<uint16_t>(k)) << k;
    EXPECT_EQ(table.records[k].sampleRate, rates[k]) << k;
  }
}

// Configurations neither mode accepts; no file may appear.
struct RefusedCase {
  const char* what;
  std::string text;  // written as "c.config"; empty: no file at all
  bool withSchema;   // instead: the builder's configuration with no parameter
};

class RefusedConfigTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedConfigTest, FailsBothModes) {
  const RefusedCase& c = GetParam();
  testsupport::TempDir dir;
  const std::string config = dir.file("c.config");
  if (c.withSchema) {
    ASSERT_TRUE(WriteConfigWithRows(config, {}));
  }
  if (!c.text.empty()) testsupport::WriteWholeFile(config, c.text);
  EXPECT_FALSE(BuildParmSetPerfModeFrom(config, dir.file("parmInfo2.txt"))) << c.what;
  EXPECT_FALSE(BuildParmSetParmModeFrom(config, 0, dir.file("parmInfo2.txt"), dir.file("z.prn")))
      << c.what;
  EXPECT_EQ(testsupport::ReadWholeFile(dir.file("parmInfo2.txt")), "") << c.what;
  EXPECT_EQ(testsupport::ReadWholeFile(dir.file("z.prn")), "") << c.what;
}

INSTANTIATE_TEST_SUITE_P(Configurations, RefusedConfigTest,
                         ::testing::Values(RefusedCase{"missing file", "", false},
                                           RefusedCase{"not a configuration", "hello\n", false},
                                           RefusedCase{"no ParameterDefaults table",
                                                       "Root V\n{\n}\n", false},
                                           RefusedCase{"no ParameterDefaults rows", "", true}));

}  // namespace
