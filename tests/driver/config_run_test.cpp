// The real yebstress with configurations: the one it writes in every run,
// and perf and parm mode on configurations the tests build (plain and
// zipped), checked down to the packets with yebverify.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "artefacts/ConfigFileBuilder.h"
#include "artefacts/DefaultConfigText.h"
#include "packet/ParmTable.h"
#include "platform/System.h"
#include "query/tQueryString.h"
#include "query/tSqlQueryEngine.h"
#include "support/ChildProcess.h"
#include "support/PrivateTempFolder.h"
#include "templatelib/tConfigSource.h"

namespace {

// The tool's step messages join folder and file as the platform does.
const std::string kSeparator(1, platform::PathSeparator());

using namespace std::chrono_literals;
using testsupport::ChildProcess;

[[maybe_unused]] ::testing::Environment* const kPrivateTempFolder =
    ::testing::AddGlobalTestEnvironment(new testsupport::PrivateTempFolder);

// The lines a select yields over a loaded configuration.
std::vector<std::string> Select(tConfigSource& source, const char* statement) {
  tSqlQueryEngine engine(&source);
  tQueryString rows;
  const HRESULT hr = engine.Query(statement, &rows, '|', nullptr);
  EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << statement;
  std::vector<std::string> lines;
  rows.ResetCursor();
  while (const char* line = rows.NextLine()) lines.push_back(line);
  return lines;
}

struct ExtraRow {
  std::string parameter, paramType, updateRate, dataSourceType;
};

// A configuration as the builder writes it for `rates`, with `extra` rows
// added through the engine, saved at `path` (".zip": an archive).
void WriteConfig(const std::string& path, const std::vector<double>& rates,
                 const std::vector<ExtraRow>& extra) {
  packet::ParmTable table;
  for (double rate : rates) table.records[table.parmCount++].sampleRate = rate;
  const std::string built = path + ".built.config";
  ASSERT_TRUE(artefacts::BuildConfigFileAt(built, schema::GetDefaultConfigText(), table, 0));
  tConfigSource source;
  ASSERT_NE(source.LoadAttributesFromFile(built.c_str()), nullptr);
  tSqlQueryEngine engine(&source);
  for (const ExtraRow& row : extra) {
    const std::string statement = "update ParameterDefaults set * = PS1|" + row.parameter + "|" +
                                  row.paramType + "|G|S|" + row.parameter + "|" + row.parameter +
                                  "||||" + row.dataSourceType + "||" + row.updateRate + " where 0";
    ASSERT_EQ(engine.Query(statement.c_str(), nullptr, '|', nullptr), S_OK) << statement;
  }
  ASSERT_EQ(source.CommitAllTables(), S_OK);
  ASSERT_EQ(source.Save(path.c_str(), 0, 2, 0), S_OK);
}

class ConfigRunTest : public ::testing::TestWithParam<const char*> {
 protected:
  std::string Out() const { return dir.file("out"); }
  std::string ConfigPath() const { return dir.file(std::string("site") + GetParam()); }

  void Start(std::vector<std::string> args) {
    port = testsupport::FreeLoopbackPort();
    args.insert(args.end(), {"/PortId", std::to_string(port), "/OutputDir", Out()});
    tool = std::make_unique<ChildProcess>(YEBSTRESS_PATH, args, dir.path());
    ASSERT_TRUE(tool->waitForOutput("Blocked waiting for connect", 15s)) << tool->output();
  }

  // yebverify against the tool for 60 packets; its exit status.
  int Verify(int tagOffset) {
    ChildProcess verifier(YEBVERIFY_PATH,
                          {"--port", std::to_string(port), "--list", Out() + "/zarnYEB.prn",
                           "--tag-offset", std::to_string(tagOffset), "--packets", "60", "--quiet"},
                          dir.path());
    const int status = verifier.waitForExit(60s);
    verifyOutput = verifier.output();
    return status;
  }

  std::string Read(const std::string& path) const { return testsupport::ReadWholeFile(path); }

  testsupport::TempDir dir;
  int port = 0;
  std::unique_ptr<ChildProcess> tool;
  std::string verifyOutput;
};

TEST(ConfigRun, EveryRunWritesAConfigurationThatLoadsBackWithItsParameters) {
  testsupport::TempDir dir;
  testsupport::WriteWholeFile(dir.file("parmInfo.txt"), "3,50\n2,12.5\n");
  const std::string out = dir.file("out");
  ChildProcess tool(YEBSTRESS_PATH,
                    {"/PortId", std::to_string(testsupport::FreeLoopbackPort()), "/OutputDir", out,
                     "/TagOffset", "7"},
                    dir.path());
  ASSERT_TRUE(tool.waitForOutput("Blocked waiting for connect", 15s)) << tool.output();
  EXPECT_NE(
      tool.output().find(kSeparator + "parmInfo.txt\n\n2. Build the Config File: " +
                         platform::JoinPath(out, "zarnYEB.config") + "\n\n3. (Custom Data Source)"),
      std::string::npos)
      << tool.output();

  tConfigSource source;
  ASSERT_NE(source.LoadAttributesFromFile((out + "/zarnYEB.config").c_str()), nullptr);
  int tables = 0;
  for (auto it = source.Root()->Children(); it.Next() != nullptr;) ++tables;
  EXPECT_EQ(tables, 63);
  EXPECT_EQ(Select(source,
                   "select AnalysisWindowName, X, Y, Width, Height, WindowState from "
                   "AnalysisWindows"),
            std::vector<std::string>{"Window1|0.0|0.0|0.857|0.938|Normal"});
  EXPECT_EQ(Select(source, "select Group, SubGroup, DesktopName, AnalysisWindowName from Desktops"),
            std::vector<std::string>{"Group|SubGroup|Desktop1|Window1"});
  EXPECT_EQ(Select(source, "select User, ActiveDesktop from Users"),
            std::vector<std::string>{"User1|NewDesktop"});
  EXPECT_EQ(Select(source, "select ParameterDefaults, Group, isActive from ParameterDefaultsState"),
            std::vector<std::string>{"PS1||True"});
  // Named as the PRN list names them (without the prefix), tag offset + 1 on.
  EXPECT_EQ(Select(source,
                   "select Parameter, ParamType, DataSourceType, UpdateRate from "
                   "ParameterDefaults"),
            (std::vector<std::string>{"Parm8|float|TPP|50.000000", "Parm9|float|TPP|50.000000",
                                      "Parm10|float|TPP|50.000000", "Parm11|float|TPP|12.500000",
                                      "Parm12|float|TPP|12.500000"}));
  EXPECT_NE(
      testsupport::ReadWholeFile(out + "/zarnYEB.prn").find("\r\n10 S01_Parm8 50.000000 2\r\n"),
      std::string::npos);
}

TEST_P(ConfigRunTest, PerfModeStreamsTheLoadOfTheConfiguration) {
  WriteConfig(ConfigPath(), {50, 50, 200, 12.5},
              {{"D1", "float", "100", "Derived"}, {"D2", "float", "0", "Derived"}});
  // /ParmInfo loses to the derived set.
  testsupport::WriteWholeFile(dir.file("other.txt"), "1,1\n");
  Start({"/ConfigPerfMode", ConfigPath(), "/ParmInfo", "other.txt"});
  EXPECT_EQ(Read(dir.file("parmInfo2.txt")),
            "// Total Parameters:( 6 ), Aggregate Rate:( 412.500000 ), TPP: ( 4 ), Derived: ( 2 )"
            "\r\n\r\n"
            "// ** Note - Total Illegal Parameters: ( 1 ) - Sample Rates <= 0.0\r\n"
            " 2,50.000000\r\n 1,200.000000\r\n 1,12.500000\r\n 1,100.000000\r\n");
  EXPECT_NE(tool->output().find("1. Process the Parameter Information File: " +
                                platform::JoinPath(".", "parmInfo2.txt") +
                                "\n\n2. Build the Config File"),
            std::string::npos)
      << tool->output();
  EXPECT_EQ(Read(Out() + "/zarnYEB.prn"),
            "1 TIME$_DAY 100.000000 1\r\n2 TIME$_MILLISEC 10000.000000 1\r\n"
            "3 S01_Parm1 50.000000 2\r\n4 S01_Parm2 50.000000 2\r\n"
            "5 S01_Parm3 200.000000 2\r\n6 S01_Parm4 12.500000 2\r\n"
            "7 S01_Parm5 100.000000 2\r\n");
  tConfigSource written;
  ASSERT_NE(written.LoadAttributesFromFile((Out() + "/zarnYEB.config").c_str()), nullptr);
  EXPECT_EQ(Select(written, "select Parameter from ParameterDefaults").size(), 5u);
  EXPECT_EQ(Verify(0), 0) << verifyOutput;
  EXPECT_NE(verifyOutput.find("no failures"), std::string::npos) << verifyOutput;
}

TEST_P(ConfigRunTest, ParmModeStreamsTheConfigurationsOwnParametersAtTheTagsThePacketsCarry) {
  WriteConfig(ConfigPath(), {},
              {{"Alpha", "float", "25", "TPP"},
               {"Beta", "float", "100", "Derived"},
               {"Gamma", "discrete", "0", "TPP"},
               {"Delta", "int", "50", "tpp"}});
  Start({"/ConfigParmMode", ConfigPath(), "/TagOffset", "20"});
  EXPECT_EQ(Read(Out() + "/zarnYEB.prn"),
            "21 TIME$_DAY 100.000000 1\r\n22 TIME$_MILLISEC 10000.000000 1\r\n"
            "23 Alpha 25.000000 2\r\n24 Gamma 10.000000 1\r\n25 Delta 50.000000 0\r\n");
  EXPECT_EQ(
      Read(dir.file("parmInfo2.txt")),
      " 1,25.000000\r\n 1,10.000000\r\n 1,50.000000\r\n\r\n\r\n"
      "// Total Parameters:( 4 ), Aggregate Rate:( 10185.000000 ), Total TPP Parms: ( 3 )\r\n");
  // No configuration and no list of its own: the analysis system has both.
  EXPECT_EQ(Read(Out() + "/zarnYEB.config"), "");
  EXPECT_NE(tool->output().find(kSeparator + "parmInfo2.txt\n\n4. Wait for YEB connect...\n\n"),
            std::string::npos)
      << tool->output();
  EXPECT_EQ(Verify(20), 0) << verifyOutput;
  EXPECT_NE(verifyOutput.find("no failures"), std::string::npos) << verifyOutput;
}

INSTANTIATE_TEST_SUITE_P(PlainAndZipped, ConfigRunTest, ::testing::Values(".config", ".zip"));

}  // namespace
