// configsql run as a user would: a child process on real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/System.h"
#include "support/ChildProcess.h"
#include "support/OutsideTools.h"

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
            "update Colors set * = red|Red one| where 0 suggestedRowId r1\n"
            "update Colors set * = blue|Blue|bag where 0 suggestedRowId r2\n"
            "create table Empty (A String)\n");
}

TEST_F(ConfigSql, ReadsCommandsFromStandardInputWithoutAPrompt) {
  Outcome out = Run({config}, ".tables\n\n-- a comment\n.tables E%\n");
  EXPECT_EQ(out.status, 0) << out.output;
  EXPECT_EQ(out.output,
            "Colors                           2\nEmpty                            0\n"
            "Empty                            0\n");
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
      {{config, ".schema a b"}, "configsql: usage: .schema [TABLE]\n"},
      {{dir.file("absent.config"), ".tables"},
       "configsql: cannot load configuration " + dir.file("absent.config") + "\n  " +
           dir.file("absent.config") + ": does not exist\n"},
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
  Outcome out =
      Run({config, "update Colors set * = green|Green|x where 0",
           "select Name from Colors where Color = 'none'", ".read " + dir.file("more.sql"),
           ".mode json", ".delimiter ,", "select top 1 Name, Color from Colors", ".save"});
  EXPECT_EQ(out.status, 0) << out.output;
  EXPECT_EQ(out.output,
            "S_FALSE\n"
            "blue,\"Green, dark\"\n"
            "green,Green\n"
            "[\"Red one\",\"red\"]\n");
  Outcome dump = Run({config, ".dump Colors"});
  EXPECT_NE(dump.output.find("update Colors set * = green|Green|x where 0 suggestedRowId "),
            std::string::npos)
      << dump.output;
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
  EXPECT_NE(fromZip.output.find("update Colors set * = blue|Blue|bag where 0 suggestedRowId r2\n"),
            std::string::npos)
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
  // The failed save says why, under its own line.
  EXPECT_NE(badPath.output.find("configsql: save failed: " + dir.file("no/such/folder/x.config") +
                                "\n  "),
            std::string::npos)
      << badPath.output;
  EXPECT_NE(badPath.output.find("does not exist"), std::string::npos) << badPath.output;
}

// Two shells saving at once, in loops: through the temporary ring (whose
// names are the same for both, "x.tmp<n>") into two different targets, and
// both into one target. Neither target ever gets the other's tables or a
// torn file.
TEST_F(ConfigSql, ConcurrentSavesNeverMixOrTearFiles) {
  auto textFor = [](const std::string& table) {
    std::string text = kConfig;
    text.replace(text.find("Colors"), 6, table);
    return text;
  };
  ASSERT_TRUE(platform::CreateOneDirectory(dir.file("a")));
  ASSERT_TRUE(platform::CreateOneDirectory(dir.file("b")));
  const std::string a = dir.file("a/x.config");
  const std::string b = dir.file("b/x.config");
  testsupport::WriteWholeFile(a, textFor("Alpha"));
  testsupport::WriteWholeFile(b, textFor("Beta"));
  std::vector<std::string> saves(40, ".save");
  auto argsFor = [&](const std::string& path, const std::string& command) {
    std::vector<std::string> args{path};
    args.insert(args.end(), saves.size(), command);
    return args;
  };
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  for (int round = 0; round < 4 && std::chrono::steady_clock::now() < deadline; ++round) {
    testsupport::ChildProcess first(CONFIGSQL_PATH, argsFor(a, ".save"), dir.path());
    testsupport::ChildProcess second(CONFIGSQL_PATH, argsFor(b, ".save"), dir.path());
    testsupport::ChildProcess third(CONFIGSQL_PATH, argsFor(a, ".save " + config), dir.path());
    testsupport::ChildProcess fourth(CONFIGSQL_PATH, argsFor(b, ".save " + config), dir.path());
    EXPECT_EQ(first.waitForExit(20s), 0) << first.output();
    EXPECT_EQ(second.waitForExit(20s), 0) << second.output();
    EXPECT_EQ(third.waitForExit(20s), 0) << third.output();
    EXPECT_EQ(fourth.waitForExit(20s), 0) << fourth.output();
    ASSERT_EQ(testsupport::ReadWholeFile(a), textFor("Alpha")) << "round " << round;
    ASSERT_EQ(testsupport::ReadWholeFile(b), textFor("Beta")) << "round " << round;
    const std::string shared = testsupport::ReadWholeFile(config);
    ASSERT_TRUE(shared == textFor("Alpha") || shared == textFor("Beta")) << shared;
  }
}

TEST_F(ConfigSql, ASaveOverAFileWhoseTextWasIgnoredNeedsForce) {
  const std::string tail = std::string(kConfig) + "}\r\n   Table Lost\r\n";
  testsupport::WriteWholeFile(config, tail);
  Outcome refused = Run({config, ".save"});
  EXPECT_NE(refused.status, 0);
  EXPECT_EQ(refused.output,
            "tConfigSource::LoadAttributesFromFile, the root block ends before line 21; the text "
            "from there on is ignored\n"
            "configsql: not saved: the load of " +
                config +
                " ignored its text from line 21 on, which saving over it would lose (.save "
                "--force saves anyway)\n");
  EXPECT_NE(Run({config, ".save " + config}).status, 0);
  EXPECT_EQ(testsupport::ReadWholeFile(config), tail);
  // Elsewhere it saves; with --force over the file too.
  EXPECT_EQ(Run({config, ".save " + dir.file("other.config")}).status, 0);
  Outcome forced = Run({config, ".save --force"});
  EXPECT_EQ(forced.status, 0) << forced.output;
  EXPECT_EQ(testsupport::ReadWholeFile(config), kConfig);
}

// Hostile inputs, each under an address-space limit of what its size allows
// (64 times the file and 64 MiB, at most 1.5 GiB): each fails the load with
// a line saying why, and the process ends by itself, never by an abort.
TEST_F(ConfigSql, HostileFilesFailCleanlyWithinBoundedMemory) {
  SKIP_WITHOUT_OUTSIDE_TOOLS();
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#endif
  const std::string bomb = dir.file("bomb.zip");
  const std::string lines = dir.file("lines.zip");
  const std::string nodes = dir.file("nodes.config");
  const std::string deep = dir.file("deep.config");
  const std::string sparse = dir.file("sparse.config");
  const std::string script =
      "import zipfile, os\n"
      "def make(path, first, chunk, count):\n"
      "    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:\n"
      "        with z.open('ZARN/pfConfig', 'w', force_zip64=True) as f:\n"
      "            f.write(first)\n"
      "            for _ in range(count): f.write(chunk)\n"
      "make('" +
      bomb +
      "', b'Root V1\\n{\\n', b'x' * (1 << 20), 1023)\n"
      "make('" +
      lines +
      "', b'Root V1\\n{\\n', b'a\\n' * (1 << 19), 72)\n"
      "with open('" +
      nodes +
      "', 'wb') as f:\n"
      "    f.write(b'Root V1\\n{\\n' + b'a\\n' * (2 << 20) + b'}\\n')\n"
      "with open('" +
      deep +
      "', 'wb') as f:\n"
      "    f.write(b'Root V1\\n' + b'a\\n{\\n' * 100000)\n"
      "with open('" +
      sparse +
      "', 'wb') as f:\n"
      "    f.write(b'Root V1\\n'); f.truncate(1536 << 20)\n";
  testsupport::WriteWholeFile(dir.file("make.py"), script);
  ASSERT_EQ(std::system(("python3 " + dir.file("make.py")).c_str()), 0);
  struct Case {
    std::string file;
    std::string reason;
  };
  const Case cases[] = {
      {bomb, "entry ZARN/pfConfig declares 1072693258 bytes (at most "},
      {lines, "entry ZARN/pfConfig declares 75497482 bytes (at most "},
      {nodes, "nodes. Illegal config file?"},
      {deep, "opens a block deeper than 256 levels"},
      {sparse, "line 2 is longer than 67108864 bytes"},
      {"/dev/zero", "/dev/zero is not a regular file"},
  };
  for (const Case& c : cases) {
    std::error_code error;
    const uintmax_t size =
        std::filesystem::is_regular_file(c.file) ? std::filesystem::file_size(c.file, error) : 0;
    const uintmax_t limitKb = std::min<uintmax_t>(1536 << 10, (64 * size >> 10) + (64 << 10));
    testsupport::ChildProcess child(
        "/bin/sh", {"-c", "ulimit -v " + std::to_string(limitKb) + "; exec " +
                              std::string(CONFIGSQL_PATH) + " " + c.file + " .tables"});
    const int status = child.waitForExit(60s);
    EXPECT_EQ(status, 1) << c.file << "\n" << child.output();
    EXPECT_NE(child.output().find(c.reason), std::string::npos) << child.output();
    EXPECT_NE(child.output().find("configsql: cannot load configuration " + c.file + "\n"),
              std::string::npos)
        << child.output();
  }
}

}  // namespace
