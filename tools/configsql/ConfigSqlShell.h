// configsql: a database shell over one configuration file.
//
// The shell opens a configuration (plain text, or a ".zip" archive) into a
// tConfigSource and runs commands on it:
//   .tables          every table with its number of rows
//   .schema TABLE    the table's columns with their types
//   .dump TABLE      the table's rows: row id, state word, fields
//   .save [--force] [PATH]
//                    commit and save; without PATH to the file it came
//                    from, through the temporary-file ring. When the load
//                    ignored text of that file (after the root block), a
//                    save over it is refused unless --force is given.
//   .help            the command list
// Commands are looked up in a table, so statements of the query language
// can be added beside them. Results go to the output stream; a failing
// command writes one line "configsql: <reason>" to the error stream.
//
// Thread safety: one thread.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "templatelib/tConfigSource.h"

class ConfigSqlShell {
 public:
  ConfigSqlShell(std::FILE* out, std::FILE* err);
  ConfigSqlShell(const ConfigSqlShell&) = delete;
  ConfigSqlShell& operator=(const ConfigSqlShell&) = delete;

  // Loads the configuration; false (with the reason written) on failure.
  bool Open(const std::string& path);
  // Runs one command line; false when it failed. Blank lines succeed.
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
  bool Help(const std::vector<std::string>& args);
  bool Quit(const std::vector<std::string>& args);

  bool Fail(const std::string& reason);
  bool FindTableOrFail(const std::string& name, tTableNodes* nodes);

  std::FILE* out_;
  std::FILE* err_;
  tConfigSource source_;
  bool quit_ = false;
};

// The whole program: arguments (FILE [COMMAND ...]), and with no command
// the lines of `in`, one command per line, with a prompt when `prompt` is
// set. Returns the process's exit status.
int RunConfigSql(const std::vector<std::string>& args, std::FILE* in, std::FILE* out,
                 std::FILE* err, bool prompt);
