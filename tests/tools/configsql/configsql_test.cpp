// configsql run as a user would: a child process on real files.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/System.h"
#include "support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;

const char kConfig[] =
    "Root VersionFivePointZero\r\n"
    "{\r\n"
    "   Table Colors\r\n"
    "   {\r\n"
    "      TableDefinition Color|Name|PropertyBag\r\n"
    "      TableType Color|String\r\n"
    "      TableContents \r\n"
    "      {\r\n"
    "         r1 red|Red one|\r\n"
    "         r2 blue|Blue|bag\r\n"
    "      }\r\n"
    "   }\r\n"
    "   Table Empty\r\n"
    "   {\r\n"
    "      TableDefinition A\r\n"
    "      TableType String\r\n"
    "      TableContents \r\n"
    "   }\r\n"
    "}\r\n";

struct Outcome {
  int status;
  std::string output;
};

class ConfigSql : public ::testing::Test {
 protected:
  void SetUp() override { testsupport::WriteWholeFile(config, kConfig); }

  Outcome Run(const std::vector<std::string>& args, const std::string& input = "") {
    testsupport::ChildProcess child(CONFIGSQL_PATH, args, dir.path());
    EXPECT_TRUE(child.started());
    if (!input.empty()) child.writeInput(input);
    child.closeInput();
    int status = child.waitForExit(20s);
    return {status, child.output()};
  }

  testsupport::TempDir dir;
  const std::string config = dir.file("c.config");
};

TEST_F(ConfigSql, ListsTablesSchemaAndRows) {
  Outcome out = Run({config, ".tables", ".schema colors", ".dump Colors", ".dump Empty"});
  EXPECT_EQ(out.status, 0) << out.output;
  EXPECT_EQ(out.output,
            "Colors                           2\n"
            "Empty                            0\n"
            "Color Color\n"
            "Name String\n"
            "PropertyBag (no type)\n"
            "r1|Unchanged|red|Red one|\n"
            "r2|Unchanged|blue|Blue|bag\n");
}

TEST_F(ConfigSql, ReadsCommandsFromStandardInputWithoutAPrompt) {
  Outcome out = Run({config}, ".tables\n\n.dump empty\n");
  EXPECT_EQ(out.status, 0) << out.output;
  EXPECT_EQ(out.output, "Colors                           2\nEmpty                            0\n");
}

TEST_F(ConfigSql, FailuresGiveOneLineAndANonzeroStatus) {
  struct Case {
    std::vector<std::string> args;
    std::string expected;
  };
  const Case cases[] = {
      {{config, ".dump Nope"}, "configsql: no such table: Nope\n"},
      {{config, ".frobnicate"}, "configsql: unknown command .frobnicate (try .help)\n"},
      {{config, "select Name from Nowhere"},
       "tSqlQueryEngine: Query (select Name from Nowhere) failed, unknown 'From' table "
       "(Nowhere)\nE_FAIL\n"},
      {{config, ".schema"}, "configsql: usage: .schema TABLE\n"},
      {{dir.file("absent.config"), ".tables"},
       "configsql: cannot load configuration " + dir.file("absent.config") + "\n"},
      {{}, "configsql: usage: configsql FILE [COMMAND ...]\n"},
  };
  for (const Case& c : cases) {
    Outcome out = Run(c.args);
    EXPECT_NE(out.status, 0) << c.expected;
    EXPECT_EQ(out.output, c.expected);
  }
}

TEST_F(ConfigSql, RunsStatementsInOrderOnOneEngine) {
  testsupport::WriteWholeFile(dir.file("more.sql"),
                              "update Colors set Name = 'Green, dark' where Color = 'blue'\n"
                              ".mode csv\n"
                              "select Color, Name from Colors where Name = 'G*'\n");
  Outcome out = Run({config, "update Colors set * = green|Green|x where 0",
                     "select Name from Colors where Color = 'none'", ".read " + dir.file("more.sql"),
                     ".mode json", ".delimiter ,", "select top 1 Name, Color from Colors",
                     ".save"});
  EXPECT_EQ(out.status, 0) << out.output;
  EXPECT_EQ(out.output,
            "S_FALSE\n"
            "blue,\"Green, dark\"\n"
            "green,Green\n"
            "[\"Red one\",\"red\"]\n");
  Outcome dump = Run({config, ".dump Colors"});
  EXPECT_NE(dump.output.find("|Unchanged|green|Green|x\n"), std::string::npos) << dump.output;
  std::remove((platform::TempFolder() + "c.tmp0").c_str());
}

TEST_F(ConfigSql, LibraryDiagnosticsGoToStandardError) {
  testsupport::WriteWholeFile(dir.file("cut.config"), "Root V1\r\n{\r\n   Table T\r\n");
  Outcome out = Run({dir.file("cut.config"), ".tables"});
  EXPECT_NE(out.status, 0);
  EXPECT_NE(out.output.find("tConfigSource::LoadAttributesFromFile, config file ended inside an "
                            "open block at line 3. Truncated config file?\n"),
            std::string::npos)
      << out.output;
}

TEST_F(ConfigSql, SavesToANewArchiveAndBackToItsOwnFile) {
  const std::string zip = dir.file("copy.zip");
  Outcome saved = Run({config, ".save " + zip});
  ASSERT_EQ(saved.status, 0) << saved.output;
  Outcome fromZip = Run({zip, ".dump colors"});
  EXPECT_EQ(fromZip.status, 0) << fromZip.output;
  EXPECT_NE(fromZip.output.find("r2|Unchanged|blue|Blue|bag\n"), std::string::npos)
      << fromZip.output;

  // Line feeds only: saving back writes the canonical carriage returns.
  std::string loose = kConfig;
  std::erase(loose, '\r');
  testsupport::WriteWholeFile(config, loose);
  Outcome own = Run({config, ".save"});
  EXPECT_EQ(own.status, 0) << own.output;
  EXPECT_EQ(testsupport::ReadWholeFile(config), kConfig);
  std::remove((platform::TempFolder() + "c.tmp0").c_str());
  Outcome badPath = Run({config, ".save " + dir.file("no/such/folder/x.config")});
  EXPECT_NE(badPath.status, 0);
}

}  // namespace
