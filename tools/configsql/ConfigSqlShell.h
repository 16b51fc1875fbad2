// configsql: a database shell over one configuration file.
//
// The shell opens a configuration (plain text, or a ".zip" archive) into a
// tConfigSource and runs commands and statements on it. A line that begins
// with "." is a command:
//   .tables          every table with its number of rows
//   .schema TABLE    the table's columns with their types
//   .dump TABLE      the table's rows: row id, state word, fields
//   .save [--force] [PATH]
//                    commit and save; without PATH to the file it came
//                    from, through the temporary-file ring. When the load
//                    ignored text of that file (after the root block), a
//                    save over it is refused unless --force is given.
//   .commit          settle the changed tables (deleted rows go)
//   .read FILE       run the lines of a file
//   .delimiter C     the character that joins a result line's values
//   .mode MODE       list (lines as they are), csv, or json (one array of
//                    strings per line)
//   .help            the command list
// Any other line is a statement of the query language, run on one engine
// for the whole session, so state carries from one statement to the next.
// Result lines go to the output stream; a result code other than S_OK is
// named on the error stream ("S_FALSE", "E_FAIL", ...). A failing command
// writes one line "configsql: <reason>" to the error stream.
//
// Thread safety: one thread.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "query/tQueryString.h"
#include "query/tSqlQueryEngine.h"
#include "templatelib/tConfigSource.h"

class ConfigSqlShell {
 public:
  ConfigSqlShell(std::FILE* out, std::FILE* err);
  ConfigSqlShell(const ConfigSqlShell&) = delete;
  ConfigSqlShell& operator=(const ConfigSqlShell&) = delete;

  // Loads the configuration; false (with the reason written) on failure.
  bool Open(const std::string& path);
  // Runs one command or statement line; false when it failed (a statement
  // fails on an E_ result). Blank lines succeed.
  bool Execute(std::string_view line);
  // True once ".quit" or ".exit" was given.
  bool QuitRequested() const { return quit_; }

  tConfigSource& source() { return source_; }

 private:
  using Handler = bool (ConfigSqlShell::*)(const std::vector<std::string>& args);
  struct Command {
    const char* name;
    const char* usage;
    Handler handler;
  };
  static const Command kCommands[];

  bool Tables(const std::vector<std::string>& args);
  bool Schema(const std::vector<std::string>& args);
  bool Dump(const std::vector<std::string>& args);
  bool Save(const std::vector<std::string>& args);
  bool Commit(const std::vector<std::string>& args);
  bool Read(const std::vector<std::string>& args);
  bool Delimiter(const std::vector<std::string>& args);
  bool Mode(const std::vector<std::string>& args);
  bool RunStatement(std::string_view statement);
  void PrintLine(const char* line);
  bool Help(const std::vector<std::string>& args);
  bool Quit(const std::vector<std::string>& args);

  bool Fail(const std::string& reason);
  bool FindTableOrFail(const std::string& name, tTableNodes* nodes);

  enum class OutputMode { kList, kCsv, kJson };

  std::FILE* out_;
  std::FILE* err_;
  tConfigSource source_;
  tSqlQueryEngine engine_{&source_};
  tQueryString results_;
  char delimiter_ = '|';
  OutputMode mode_ = OutputMode::kList;
  int readDepth_ = 0;
  bool quit_ = false;
};

// The whole program: arguments (FILE [COMMAND ...]), and with no command
// the lines of `in`, one command per line, with a prompt when `prompt` is
// set. Returns the process's exit status.
int RunConfigSql(const std::vector<std::string>& args, std::FILE* in, std::FILE* out,
                 std::FILE* err, bool prompt);
