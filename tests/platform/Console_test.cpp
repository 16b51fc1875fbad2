// Console keys with a pipe or a pseudo-terminal standing in for standard
// input: what counts as a pending key, end of input, and the terminal mode
// that ConsoleKeyMode sets and restores.

#include "platform/Console.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <cstdlib>

#include "platform/Termination.h"

namespace {

#ifdef _WIN32
// Standard input is swapped for a pipe or a pseudo-terminal below; the
// Windows key source is read through its console or its pipe instead, and
// the key logic above it is tested through the platform fake.
TEST(ConsoleKeys, PosixTerminalAndPipeChecks) {
  GTEST_SKIP() << "POSIX only: descriptors 0 and pseudo-terminals";
}
#else

// Puts `fd` on standard input for the object's lifetime.
class StdinReplacement {
 public:
  explicit StdinReplacement(int fd) : saved_(dup(STDIN_FILENO)) { dup2(fd, STDIN_FILENO); }
  ~StdinReplacement() {
    dup2(saved_, STDIN_FILENO);
    close(saved_);
  }
  StdinReplacement(const StdinReplacement&) = delete;
  StdinReplacement& operator=(const StdinReplacement&) = delete;

 private:
  int saved_;
};

// The console key source keeps what it learnt about standard input (a
// peeked byte, end of input) for the process, so the whole pipe story is
// one test.
TEST(ConsoleKeys, PipeBytesAreKeysAndEndOfInputIsNot) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  StdinReplacement replacement(fds[0]);
  close(fds[0]);
  platform::KeySource& keys = platform::ConsoleKeys();

  EXPECT_FALSE(keys.KeyPending()) << "an empty pipe holds no key";
  ASSERT_EQ(write(fds[1], "k", 1), 1);
  EXPECT_TRUE(keys.KeyPending());
  EXPECT_TRUE(keys.KeyPending()) << "asking twice must not lose the key";
  EXPECT_EQ(keys.ReadKey(), 'k');
  EXPECT_FALSE(keys.KeyPending());

  ASSERT_EQ(write(fds[1], "x\xff", 2), 2);
  EXPECT_EQ(keys.ReadKey(), 'x');
  EXPECT_EQ(keys.ReadKey(), 0xff) << "keys are bytes 0..255";

  close(fds[1]);
  EXPECT_FALSE(keys.KeyPending()) << "end of input is not a key press";
  EXPECT_EQ(keys.ReadKey(), platform::kEndOfInput) << "no hang without a terminal";
}

class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const char* name = ptsname(master_);
    if (name != nullptr) slave_ = open(name, O_RDWR | O_NOCTTY);
  }
  ~PseudoTerminal() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  bool ok() const { return slave_ >= 0; }
  int slave() const { return slave_; }

 private:
  int master_ = -1;
  int slave_ = -1;
};

tcflag_t LocalFlags() {
  termios now;
  tcgetattr(STDIN_FILENO, &now);
  return now.c_lflag;
}

TEST(ConsoleKeyMode, TerminalIsRawWhileHeldAndRestoredAfter) {
  PseudoTerminal pty;
  if (!pty.ok()) GTEST_SKIP() << "no pseudo-terminals here";
  StdinReplacement replacement(pty.slave());
  ASSERT_NE(LocalFlags() & ICANON, 0u);
  {
    platform::ConsoleKeyMode mode;
    EXPECT_EQ(LocalFlags() & (ICANON | ECHO), 0u);
  }
  EXPECT_NE(LocalFlags() & ICANON, 0u);
  EXPECT_NE(LocalFlags() & ECHO, 0u);
}

TEST(ConsoleKeyMode, TerminationSignalRestoresTheTerminal) {
  PseudoTerminal pty;
  if (!pty.ok()) GTEST_SKIP() << "no pseudo-terminals here";
  StdinReplacement replacement(pty.slave());
  platform::InstallTerminationHandlers();
  platform::ResetTerminationRequest();
  {
    platform::ConsoleKeyMode mode;
    ASSERT_EQ(LocalFlags() & ICANON, 0u);
    raise(SIGTERM);
    EXPECT_NE(LocalFlags() & ICANON, 0u) << "restored by the handler, before the mode object ends";
    EXPECT_TRUE(platform::TerminationRequested());
    EXPECT_EQ(platform::TerminationSignal(), SIGTERM);
  }
  EXPECT_NE(LocalFlags() & ICANON, 0u);
  platform::ResetTerminationRequest();
  EXPECT_FALSE(platform::TerminationRequested());
}

TEST(ConsoleKeyMode, NoEffectWithoutATerminal) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  StdinReplacement replacement(fds[0]);
  const int flagsBefore = fcntl(STDIN_FILENO, F_GETFL);
  {
    platform::ConsoleKeyMode mode;  // must neither fail nor touch anything
    EXPECT_EQ(fcntl(STDIN_FILENO, F_GETFL), flagsBefore);
  }
  // Nor leave anything changed behind it.
  EXPECT_EQ(fcntl(STDIN_FILENO, F_GETFL), flagsBefore);
  close(fds[0]);
  close(fds[1]);
}

#endif  // _WIN32

}  // namespace
