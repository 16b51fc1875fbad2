// configsql FILE [COMMAND ...]: opens a configuration as a database shell.
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
  // The library's diagnostics belong on standard error in this tool.
  platform::SetDebugSink([](std::string_view message) {
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fflush(stderr);
  });
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunConfigSql(args, stdin, stdout, stderr, platform::StandardInputIsTerminal());
}
