#include "platform/Console.h"

#include <conio.h>
#include <windows.h>

namespace platform {
namespace {

// A console is read through the runtime's key calls, which see single key
// presses; a pipe (a script, a test) through its handle, peeking so that a
// key is pending only when a byte really waits; a file byte by byte.
class StdinKeys final : public KeySource {
 public:
  bool KeyPending() override {
    if (pendingByte_ >= 0) return true;
    if (endOfInput_) return false;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE) return false;
    switch (GetFileType(in)) {
      case FILE_TYPE_CHAR: {
        DWORD mode;
        if (GetConsoleMode(in, &mode)) return _kbhit() != 0;
        return ReadByte(in);  // a character device that is no console (NUL)
      }
      case FILE_TYPE_PIPE: {
        DWORD available = 0;
        if (!PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr)) {
          endOfInput_ = true;  // the writer closed its end
          return false;
        }
        return available > 0 && ReadByte(in);
      }
      default:
        return ReadByte(in);
    }
  }

  int ReadKey() override {
    if (pendingByte_ >= 0) {
      int b = pendingByte_;
      pendingByte_ = -1;
      return b;
    }
    if (endOfInput_) return kEndOfInput;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode;
    if (GetFileType(in) == FILE_TYPE_CHAR && GetConsoleMode(in, &mode)) return _getch();
    return ReadByte(in) ? ReadKey() : kEndOfInput;
  }

 private:
  // Takes one byte into pendingByte_; false at end of input.
  bool ReadByte(HANDLE in) {
    unsigned char c;
    DWORD n = 0;
    if (ReadFile(in, &c, 1, &n, nullptr) && n == 1) {
      pendingByte_ = c;
      return true;
    }
    endOfInput_ = true;
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

// _getch already reads single keys without echo: there is no mode to switch.
ConsoleKeyMode::ConsoleKeyMode() = default;
ConsoleKeyMode::~ConsoleKeyMode() = default;

}  // namespace platform
