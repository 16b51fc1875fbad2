#include "platform/Termination.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "platform/posix/TerminalState.h"

namespace platform {
namespace {

termios gSavedTerminal;
volatile sig_atomic_t gTerminalSaved = 0;
std::atomic<int> gSignal{0};

extern "C" void OnTerminationSignal(int sig) {
  RestoreTerminalState();
  gSignal.store(sig);
}

}  // namespace

void SaveTerminalState(const termios& saved) {
  gSavedTerminal = saved;
  gTerminalSaved = 1;
}

void ForgetTerminalState() { gTerminalSaved = 0; }

void RestoreTerminalState() {
  if (gTerminalSaved) {
    tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
    gTerminalSaved = 0;
  }
}

void InstallTerminationHandlers() {
  signal(SIGPIPE, SIG_IGN);
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnTerminationSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: blocking calls return EINTR
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

bool TerminationRequested() { return gSignal.load() != 0; }
int TerminationSignal() { return gSignal.load(); }
void ResetTerminationRequest() { gSignal.store(0); }

}  // namespace platform
