#include "platform/Console.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/TerminalState.h"

namespace platform {
namespace {

class StdinKeys final : public KeySource {
 public:
  bool KeyPending() override {
    // A byte already taken from a pipe to prove input was pending is still
    // pending until ReadKey hands it out.
    if (pendingByte_ >= 0) return true;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    int r;
    do {
      r = poll(&p, 1, 0);
    } while (r < 0 && errno == EINTR);
    if (r <= 0) return false;
    if ((p.revents & POLLIN) == 0) return false;  // POLLHUP alone: end of input
    // POLLIN is also reported at end of input on a pipe or file; only a byte
    // that can really be read counts. Peek without consuming it.
    if (isatty(STDIN_FILENO)) return true;
    return HasBufferedByte();
  }

  int ReadKey() override {
    if (pendingByte_ >= 0) {
      int b = pendingByte_;
      pendingByte_ = -1;
      return b;
    }
    unsigned char c;
    for (;;) {
      ssize_t n = read(STDIN_FILENO, &c, 1);
      if (n == 1) return c;
      if (n < 0 && errno == EINTR) return kEndOfInput;  // a signal ends the wait
      return kEndOfInput;
    }
  }

 private:
  // Pipes and files cannot be peeked portably, so a byte that proves input
  // is pending is read here and handed out by the next ReadKey.
  bool HasBufferedByte() {
    if (pendingByte_ >= 0) return true;
    if (endOfInput_) return false;
    unsigned char c;
    ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n == 1) {
      pendingByte_ = c;
      return true;
    }
    if (n == 0) endOfInput_ = true;
    return false;
  }

  int pendingByte_ = -1;
  bool endOfInput_ = false;
};

}  // namespace

KeySource& ConsoleKeys() {
  static StdinKeys keys;
  return keys;
}

ConsoleKeyMode::ConsoleKeyMode() {
  termios saved;
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) return;
  termios raw = saved;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  SaveTerminalState(saved);
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
    active_ = true;
  } else {
    ForgetTerminalState();
  }
}

ConsoleKeyMode::~ConsoleKeyMode() {
  if (active_) RestoreTerminalState();
}

}  // namespace platform
