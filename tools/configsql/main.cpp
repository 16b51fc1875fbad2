// configsql [-v] FILE [COMMAND ...]: opens a configuration as a database shell.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "ConfigSqlShell.h"
#include "platform/DebugOutput.h"
#include "platform/StdStreams.h"
#include "platform/Termination.h"

int main(int argc, char** argv) {
  platform::InstallTerminationHandlers();
  // The shell shows the library's diagnostics of each step itself; what
  // comes outside a step (a deleter thread's report) goes to standard error.
  platform::SetDebugSink([](std::string_view message) {
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fflush(stderr);
  });
  std::vector<std::string> args(argv + 1, argv + argc);
  return configsql::RunConfigSql(args, stdin, stdout, stderr, platform::StandardInputIsTerminal());
}
