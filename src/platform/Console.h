// Console keys: the operator ends a transfer or answers a prompt with a key.
//
// A key is pending only when at least one byte can be read from standard
// input; end of input is not a key press, and a byte arriving through a pipe
// is one. ReadKey blocks for one byte and returns kEndOfInput at end of
// input, so the program never hangs waiting for a key without a terminal.
//
// ConsoleKeyMode switches a terminal on standard input to non-canonical,
// no-echo mode for its lifetime, so a single key press is seen at once; the
// terminal is restored by the destructor and also when SIGINT or SIGTERM
// arrives (see Termination.h).
//
// Thread safety: main thread only.
#pragma once

namespace platform {

inline constexpr int kEndOfInput = -1;

class KeySource {
 public:
  virtual ~KeySource() = default;
  // True when a key press is waiting to be read; never blocks.
  virtual bool KeyPending() = 0;
  // Reads one key (a byte, 0..255); kEndOfInput at end of input.
  virtual int ReadKey() = 0;
};

// Standard input as a key source.
KeySource& ConsoleKeys();

class ConsoleKeyMode {
 public:
  ConsoleKeyMode();   // no effect when standard input is not a terminal
  ~ConsoleKeyMode();  // restores the terminal as it was
  ConsoleKeyMode(const ConsoleKeyMode&) = delete;
  ConsoleKeyMode& operator=(const ConsoleKeyMode&) = delete;

 private:
  bool active_ = false;
};

}  // namespace platform
