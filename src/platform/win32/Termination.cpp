#include "platform/Termination.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace platform {
namespace {

std::atomic<int> gSignal{0};

// Runs on a thread of its own that the system starts. Returning TRUE keeps
// the process alive so that the main thread leaves through its exit path;
// a closing console (CTRL_CLOSE_EVENT) is left to the default handler.
BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      gSignal.store(SIGINT);
      return TRUE;
    case CTRL_BREAK_EVENT:
      gSignal.store(SIGTERM);  // Ctrl+Break is what a script sends to end us
      return TRUE;
    default:
      return FALSE;
  }
}

// The runtime's own signals, which only raise() sends here; the runtime
// resets a handler once it has run, so it installs itself again.
extern "C" void OnRuntimeSignal(int sig) {
  std::signal(sig, OnRuntimeSignal);
  gSignal.store(sig);
}

}  // namespace

// There is no SIGPIPE on Windows: a send to a vanished peer fails as it is.
void InstallTerminationHandlers() {
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  std::signal(SIGINT, OnRuntimeSignal);
  std::signal(SIGTERM, OnRuntimeSignal);
}

bool TerminationRequested() { return gSignal.load() != 0; }
int TerminationSignal() { return gSignal.load(); }
void ResetTerminationRequest() { gSignal.store(0); }

}  // namespace platform
