// configsql's habits run as a user would: a child process on real files.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "artefacts/DefaultConfigText.h"
#include "support/ChildProcess.h"

#ifndef _WIN32
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

namespace {

using namespace std::chrono_literals;

class ConfigSqlHabits : public ::testing::Test {
 protected:
  void SetUp() override { testsupport::WriteWholeFile(config, schema::GetDefaultConfigText()); }

  struct Outcome {
    int status;
    std::string output;
  };
  Outcome Run(const std::vector<std::string>& args, const std::string& input = "") {
    testsupport::ChildProcess child(CONFIGSQL_PATH, args, dir.path());
    EXPECT_TRUE(child.started());
    if (!input.empty()) child.writeInput(input);
    child.closeInput();
    const int status = child.waitForExit(60s);
    return {status, child.output()};
  }

  testsupport::TempDir dir;
  const std::string config = dir.file("site.config");
};

TEST_F(ConfigSqlHabits, ARefusedStatementSaysWhatToWriteAndFails) {
  Outcome out = Run({config,
                     "select Parameter from ParameterDefaults where UpdateRate > 100 and "
                     "UpdateRate < 10000;"});
  EXPECT_EQ(out.status, 1);
  EXPECT_EQ(out.output, "configsql: not run: use && for and\n");
  // A sort on a column the table lacks fails, its message shown once.
  Outcome sort =
      Run({config, "update Users set * = a|b where 0", "update Users set * = c|d where 0",
           "select Nosuch from Users", "sort table Users on Nosuch"});
  EXPECT_EQ(sort.status, 1) << sort.output;
  EXPECT_NE(sort.output.find("unknown column token (Nosuch) in query (2 times)\nE_FAIL\n"),
            std::string::npos)
      << sort.output;
  EXPECT_NE(sort.output.find("(sort table Users on Nosuch) failed, unknown column token"),
            std::string::npos)
      << sort.output;
}

// CSV in, statements out, statements back into a fresh configuration: the
// same rows, and the same CSV out again.
TEST_F(ConfigSqlHabits, ImportDumpReadRoundTrip) {
  const std::string csv =
      "Name,Note,Empty,Text\n"
      "plain,\"with, comma\",,\"say \"\"hi\"\"\"\n"
      "\"two\nlines? no\",x,,y\n";
  // A line break cannot be held in a row: the import refuses that record,
  // naming its line, and keeps the rows before it.
  testsupport::WriteWholeFile(dir.file("bad.csv"), csv);
  Outcome bad = Run({config, ".import bad.csv Notes"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.output.find("bad.csv line 3: table Notes: a field holds a line break (1 rows "
                            "imported before it)"),
            std::string::npos)
      << bad.output;

  const std::string good =
      "Name,Note,Empty,Text\n"
      "plain,\"with, comma\",,\"say \"\"hi\"\"\"\n"
      "Grüße,日本語 and 'quotes',,\"a \"\"b\"\" c\"\n"
      ",,,\n";
  testsupport::WriteWholeFile(dir.file("in.csv"), good);
  Outcome dumped =
      Run({config, ".import in.csv Notes", ".changes", ".once dump.sql", ".dump Notes"});
  ASSERT_EQ(dumped.status, 0) << dumped.output;
  EXPECT_EQ(dumped.output, "3\nconfigsql: the changes to " + config + " were not saved\n");
  const std::string dump = testsupport::ReadWholeFile(dir.file("dump.sql"));
  EXPECT_EQ(
      dump.rfind("create table Notes (Name String, Note String, Empty String, Text String)\n", 0),
      0u)
      << dump;

  testsupport::WriteWholeFile(dir.file("fresh.config"), schema::GetDefaultConfigText());
  Outcome replayed =
      Run({dir.file("fresh.config"), ".read dump.sql", ".once again.sql", ".dump Notes",
           ".mode csv", ".headers on", "select Name, Note, Empty, Text from Notes", ".save"});
  ASSERT_EQ(replayed.status, 0) << replayed.output;
  EXPECT_EQ(testsupport::ReadWholeFile(dir.file("again.sql")), dump);
  EXPECT_EQ(replayed.output, good);
}

TEST_F(ConfigSqlHabits, TableAndMarkdownModesWithHeaders) {
  Outcome out = Run({config, "update Users set User = 'Ann', ActiveDesktop = 'Größe' where 0",
                     "update Users set User = 'Bartholomew', ActiveDesktop = 'D2' where 0",
                     ".mode table", "select User, ActiveDesktop from Users", ".headers off",
                     "select User from Users where User = 'Ann'", ".mode markdown", ".headers on",
                     "select User from Users", ".mode line",
                     "select User, ActiveDesktop from Users "
                     "where User = 'Ann'",
                     ".mode json", "select User from Users where User = 'Ann'", ".save"});
  EXPECT_EQ(out.status, 0) << out.output;
  EXPECT_EQ(out.output,
            "+-------------+---------------+\n"
            "| User        | ActiveDesktop |\n"
            "+-------------+---------------+\n"
            "| Ann         | Größe         |\n"
            "| Bartholomew | D2            |\n"
            "+-------------+---------------+\n"
            "+-----+\n"
            "| Ann |\n"
            "+-----+\n"
            "| User        |\n"
            "|-------------|\n"
            "| Ann         |\n"
            "| Bartholomew |\n"
            "         User = Ann\n"
            "ActiveDesktop = Größe\n"
            "{\"User\":\"Ann\"}\n");
}

TEST_F(ConfigSqlHabits, UnsavedChangesAreNamedWhenInputIsNoTerminal) {
  Outcome out = Run({config}, "update Users set * = a|b where 0\n.quit\n");
  EXPECT_EQ(out.status, 0);
  EXPECT_EQ(out.output, "configsql: the changes to " + config + " were not saved\n");
  Outcome saved = Run({config}, "update Users set * = a|b where 0\n.save\n");
  EXPECT_EQ(saved.output, "");
}

#ifndef _WIN32
// Once through a pseudo-terminal: the Up arrow brings the last line back,
// Ctrl-C drops a half-typed line and the shell stays, the history is kept
// in ~/.configsql_history, and leaving asks about unsaved changes.
TEST_F(ConfigSqlHabits, EditsLinesOnATerminal) {
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("HOME", dir.path().c_str(), 1);
    setenv("TERM", "dumb", 1);
    execl(CONFIGSQL_PATH, CONFIGSQL_PATH, config.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string seen;
  auto waitFor = [&](const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (seen.find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      fd_set fds;
      FD_ZERO(&fds);
      FD_SET(master, &fds);
      timeval tick{0, 100000};
      if (select(master + 1, &fds, nullptr, nullptr, &tick) <= 0) continue;
      char buffer[4096];
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) break;
      seen.append(buffer, static_cast<size_t>(n));
    }
    return seen.find(text) != std::string::npos;
  };
  auto type = [&](const std::string& keys) {
    ASSERT_EQ(write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  };
  // Each key goes in once the shell waits for it, as a person types.
  auto step = [&](const std::string& keys, const std::string& expected) {
    seen.clear();
    type(keys);
    return waitFor(expected);
  };
  ASSERT_TRUE(waitFor("configsql> ")) << ::testing::PrintToString(seen);
  ASSERT_TRUE(step("update Users set User = 'Zed' where 0\r", "configsql> ")) << seen;
  ASSERT_TRUE(step("select User from Users\r", "Zed\r\nconfigsql> ")) << seen;
  ASSERT_TRUE(step("half typed", "typed")) << seen;
  ASSERT_TRUE(step("\x03", "configsql> ")) << seen;
  EXPECT_TRUE(step("\x1b[A\r", "Zed\r\nconfigsql> ")) << seen;  // Up: the select again
  EXPECT_TRUE(step(".quit\r", "save changes to " + config + "? [y/N]")) << seen;
  type("n\r");
  int status = -1;
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline) {
    waitFor("\x01never");  // reads what comes, a tenth of a second at a time
  }
  // What the shell wrote just before it ended may still wait in the
  // terminal: read on until the terminal reports that it has gone.
  waitFor("\x01never");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
  if (!WIFEXITED(status)) kill(pid, SIGKILL);
  close(master);
  EXPECT_NE(seen.find("the changes to " + config + " were not saved"), std::string::npos) << seen;
  const std::string history = testsupport::ReadWholeFile(dir.file(".configsql_history"));
  EXPECT_NE(history.find("select"), std::string::npos) << history;
  EXPECT_EQ(history.find("half"), std::string::npos) << history;
}
#endif

}  // namespace
