// The program around the shell: its command line, the reading of lines,
// and the way out (a word about unsaved changes, the exit status).
#include <csignal>
#include <memory>

#include "ConfigSqlShell.h"
#include "LineReader.h"
#include "platform/BuildInfo.h"
#include "platform/Termination.h"

namespace configsql {
namespace {

void PrintUsage(std::FILE* out) {
  std::fprintf(out,
               "usage: configsql [-v] FILE [COMMAND ...]\n"
               "       configsql --help | --version\n"
               "\n"
               "Opens the configuration FILE (plain text or a .zip archive) and runs each\n"
               "COMMAND in order; without commands, reads one per line from standard input\n"
               "(with line editing and history in ~/.configsql_history on a terminal%s).\n"
               "\n"
               "  -v          also show the library's diagnostics that are not faults (timings)\n"
               "  --help, -h  this text\n"
               "  --version   the program's version\n"
               "\n"
               "A COMMAND is a statement of the configuration's query language or one of:\n",
               HasLineEditing() ? "" : "; not in this build");
  for (const ConfigSqlShell::Command& command : ConfigSqlShell::Commands()) {
    std::fprintf(out, "  %-42s %s\n", command.usage, command.description);
  }
  std::fprintf(out,
               "\nExit status: 0 when every command and statement worked, 1 when one failed or\n"
               "was refused, 2 for a wrong command line.\n");
}

bool Yes(const std::string& answer) {
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

}  // namespace

int RunConfigSql(const std::vector<std::string>& args, std::FILE* in, std::FILE* out,
                 std::FILE* err, bool terminal) {
  ShellOptions options;
  size_t first = 0;
  for (; first < args.size() && args[first].starts_with("-") && args[first] != "-"; ++first) {
    const std::string& word = args[first];
    if (word == "--help" || word == "-h") {
      PrintUsage(out);
      return 0;
    }
    if (word == "--version") {
      std::fprintf(out, "%s\n", platform::VersionLine("configsql").c_str());
      return 0;
    }
    if (word != "-v") {
      std::fprintf(err, "configsql: %s is not an option (try --help)\n", word.c_str());
      return 2;
    }
    options.verbose = true;
  }
  if (first >= args.size()) {
    std::fprintf(err, "configsql: usage: configsql FILE [COMMAND ...]\n");
    return 2;
  }
  ConfigSqlShell shell(out, err, options);
  if (!shell.Open(args[first])) return 1;
  bool allOk = true;
  std::unique_ptr<LineReader> reader;
  if (first + 1 < args.size()) {
    for (size_t i = first + 1; i < args.size() && !shell.QuitRequested(); ++i) {
      if (platform::TerminationRequested()) break;
      allOk = shell.Execute(args[i]) && allOk;
    }
  } else {
    reader = MakeLineReader(in, out, terminal);
    std::string line;
    for (;;) {
      const LineReader::Result read = reader->Read("configsql> ", &line);
      if (read == LineReader::Result::kInterrupted) continue;
      if (read == LineReader::Result::kEnd) break;
      allOk = shell.Execute(line) && allOk;
      if (shell.QuitRequested()) break;
      // Ctrl-C at a terminal stops the command that ran; the shell stays.
      if (terminal && platform::TerminationSignal() == SIGINT) {
        platform::ResetTerminationRequest();
        std::fprintf(err, "configsql: interrupted\n");
        allOk = false;
      }
      if (platform::TerminationRequested()) break;
    }
    if (terminal && !shell.HasUnsavedChanges()) std::fputs("\n", out);
  }
  const int signal = platform::TerminationSignal();
  if (shell.HasUnsavedChanges()) {
    std::string answer;
    if (terminal && reader != nullptr && signal == 0) {
      const std::string question = "\nsave changes to " + shell.path() + "? [y/N] ";
      if (reader->Read(question.c_str(), &answer) != LineReader::Result::kLine) answer.clear();
    }
    if (Yes(answer)) {
      if (!shell.SaveBack()) allOk = false;
    } else {
      std::fprintf(err, "configsql: the changes to %s were not saved\n", shell.path().c_str());
    }
  }
  if (signal != 0 && !(terminal && signal == SIGINT)) return 128 + signal;
  return allOk ? 0 : 1;
}

}  // namespace configsql
