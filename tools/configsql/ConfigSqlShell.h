// configsql: a database shell over one configuration file.
//
// The shell opens a configuration (plain text, or a ".zip" archive) into a
// tConfigSource and runs commands and statements on it. A line that begins
// with "." is a command (the table in ConfigSqlShell.cpp, listed by .help
// and --help); a blank line or a "--" comment is skipped; any other line is
// a statement of the query language, run on one engine for the whole
// session, so state carries from one statement to the next.
//
// Before a statement reaches the engine the guard (StatementGuard.h) may
// refuse it with a hint; the engine never sees a refused statement and
// runs every other one exactly as written, less surrounding white space and
// one trailing ";". Result lines go to the output in the chosen mode
// (ResultFormat.h); a result code other than S_OK is named on the error
// stream ("S_FALSE", "E_FAIL", ...), after the library's diagnostics of the
// statement, each shown once (Diagnostics.h). A statement fails on an E_
// result, and also when the library reported a fault for it (a sort key
// that names no column). A failing command writes "configsql: <reason>" to
// the error stream, with the library's reasons indented below it.
//
// Thread safety: one thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "OutputTarget.h"
#include "ResultFormat.h"
#include "StatementGuard.h"
#include "query/tQueryString.h"
#include "query/tSqlQueryEngine.h"
#include "templatelib/tConfigSource.h"

namespace configsql {

struct ShellOptions {
  bool verbose = false;  // show diagnostics that are not faults
};

class ConfigSqlShell {
 public:
  ConfigSqlShell(std::FILE* out, std::FILE* err, ShellOptions options = {});
  ConfigSqlShell(const ConfigSqlShell&) = delete;
  ConfigSqlShell& operator=(const ConfigSqlShell&) = delete;

  // Loads the configuration; false (with the reasons written) on failure.
  bool Open(const std::string& path);
  // Runs one command or statement line; false when it failed. Blank and
  // comment lines succeed.
  bool Execute(std::string_view line);
  // True once ".quit" or ".exit" was given.
  bool QuitRequested() const { return quit_; }
  // True when statements changed the configuration since the last save.
  bool HasUnsavedChanges() const { return unsaved_; }
  // Commits and saves back to the file it came from.
  bool SaveBack() { return Save({".save"}); }
  const std::string& path() const { return path_; }

  tConfigSource& source() { return source_; }

  struct Command {
    const char* name;
    const char* usage;
    const char* description;
    bool (ConfigSqlShell::*handler)(const std::vector<std::string>& args);
  };
  // Every command, in the order .help lists them.
  static const std::vector<Command>& Commands();

 private:
  using Args = std::vector<std::string>;
  bool Tables(const Args& args);
  bool Schema(const Args& args);
  bool Dump(const Args& args);
  bool Import(const Args& args);
  bool Save(const Args& args);
  bool Commit(const Args& args);
  bool Read(const Args& args);
  bool Delimiter(const Args& args);
  bool Mode(const Args& args);
  bool Headers(const Args& args);
  bool Output(const Args& args);
  bool Once(const Args& args);
  bool Changes(const Args& args);
  bool Help(const Args& args);
  bool Quit(const Args& args);

  bool RunStatement(std::string_view line);
  std::vector<std::string> ColumnsOf(const GuardedStatement& statement);
  int64_t MatchingRows(const GuardedStatement& statement);
  int64_t LiveRows(const std::string& table, int64_t* allRows);

  bool Fail(const std::string& reason);
  bool FailWith(const std::string& reason, const std::vector<std::string>& messages);
  bool FindTableOrFail(const std::string& name, tTableNodes* nodes);

  std::FILE* err_;
  OutputTarget output_;
  ShellOptions options_;
  std::string path_;
  tConfigSource source_;
  tSqlQueryEngine engine_{&source_};
  tQueryString results_;
  char delimiter_ = '|';
  OutputMode mode_ = OutputMode::kList;
  bool headers_ = false;
  int readDepth_ = 0;
  bool quit_ = false;
  bool unsaved_ = false;
  int64_t changes_ = 0;
};

// The whole program: arguments ([-v] FILE [COMMAND ...], --help,
// --version), and with no command the lines of `in`, one per line, with a
// prompt (and line editing where built) when `terminal` is set. Returns the
// process's exit status.
int RunConfigSql(const std::vector<std::string>& args, std::FILE* in, std::FILE* out,
                 std::FILE* err, bool terminal);

}  // namespace configsql
