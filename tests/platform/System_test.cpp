// Machine facts and file services of the platform layer.

#include "platform/System.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include "platform/AtomicFile.h"
#include "platform/DebugOutput.h"
#include "platform/Termination.h"
#include "support/ChildProcess.h"

namespace {

using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

TEST(ReplaceFileWithCopy, CopiesAndReplacesTheTarget) {
  TempDir dir;
  std::string from = dir.file("from.bin");
  std::string to = dir.file("to.bin");
  std::string bytes("line one\r\n\0binary\xff", 19);
  bytes += std::string(200000, 'z');  // more than one copy buffer
  WriteWholeFile(from, bytes);
  WriteWholeFile(to, "old and longer text that must disappear entirely........");
  ASSERT_TRUE(platform::ReplaceFileWithCopy(from, to));
  EXPECT_EQ(ReadWholeFile(to), bytes);
  EXPECT_EQ(ReadWholeFile(from), bytes);
}

TEST(ReplaceFileWithCopy, FailuresLeaveTheTargetAlone) {
  TempDir dir;
  std::string to = dir.file("to.txt");
  WriteWholeFile(to, "keep");
  EXPECT_FALSE(platform::ReplaceFileWithCopy(dir.file("missing"), to));
  EXPECT_FALSE(platform::ReplaceFileWithCopy(dir.path(), to)) << "a folder is not copied";
  EXPECT_EQ(ReadWholeFile(to), "keep");
  EXPECT_FALSE(platform::ReplaceFileWithCopy(to, dir.file("no/such/folder/x")));
}

TEST(CreateOneDirectory, OneLevelOnly) {
  TempDir dir;
  std::string child = dir.file("child");
  EXPECT_TRUE(platform::CreateOneDirectory(child));
  struct stat st;
  ASSERT_EQ(stat(child.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_FALSE(platform::CreateOneDirectory(child)) << "already there";
  EXPECT_FALSE(platform::CreateOneDirectory(dir.file("a/b"))) << "parent missing";
}

TEST(TempFolder, FollowsTmpdirAndEndsInASlash) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: TMPDIR names the temporary folder";
#else
  const char* old = std::getenv("TMPDIR");
  std::string saved = old != nullptr ? old : "";
  testsupport::SetEnvironment("TMPDIR", "/var/tmp");
  EXPECT_EQ(platform::TempFolder(), "/var/tmp/");
  testsupport::SetEnvironment("TMPDIR", "/var/tmp/");
  EXPECT_EQ(platform::TempFolder(), "/var/tmp/");
  testsupport::SetEnvironment("TMPDIR", "");
  EXPECT_EQ(platform::TempFolder(), "/tmp/");
  testsupport::UnsetEnvironment("TMPDIR");
  EXPECT_EQ(platform::TempFolder(), "/tmp/");
  if (old != nullptr) testsupport::SetEnvironment("TMPDIR", saved);
#endif
}

TEST(MachineFacts, HostProcessAndLocalTime) {
  EXPECT_FALSE(platform::HostName().empty());
  EXPECT_EQ(platform::ProcessId(), static_cast<uint32_t>(getpid()));
  platform::LocalTime now = platform::LocalTimeNow();
  EXPECT_GE(now.year, 2020);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12);
  EXPECT_TRUE(now.day >= 1 && now.day <= 31);
  EXPECT_TRUE(now.dayOfWeek >= 0 && now.dayOfWeek <= 6);
  EXPECT_TRUE(now.hour >= 0 && now.hour <= 23);
  EXPECT_TRUE(now.minute >= 0 && now.minute <= 59);
  EXPECT_TRUE(now.second >= 0 && now.second <= 60);
  EXPECT_TRUE(now.millisecond >= 0 && now.millisecond <= 999);
}

TEST(DebugSink, CaptureSeesExactTextsAndTheOldSinkComesBack) {
  std::string first;
  std::string second;
  platform::DebugSink original = platform::SetDebugSink([&](std::string_view m) { first += m; });
  platform::WriteDebugString("one\n");
  platform::WriteDebugStringW(L"two \x4e2d\n");
  platform::WriteDebugString(nullptr);
  platform::DebugSink mine = platform::SetDebugSink([&](std::string_view m) { second += m; });
  platform::WriteDebugString("three\n");
  platform::SetDebugSink(std::move(original));
  platform::WriteDebugString("to the default sink\n");
  EXPECT_EQ(first, "one\ntwo ?\n") << "an unconvertible wide character becomes '?'";
  EXPECT_EQ(second, "three\n");
  ASSERT_TRUE(static_cast<bool>(mine));
}

TEST(Termination, SigpipeNoLongerKillsTheProcess) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: there is no SIGPIPE on Windows";
#else
  platform::InstallTerminationHandlers();
  // A write to a peer that went away must be a failed call, not the end.
  struct sigaction current {};
  ASSERT_EQ(sigaction(SIGPIPE, nullptr, &current), 0);
  EXPECT_EQ(current.sa_handler, SIG_IGN);
  raise(SIGPIPE);  // ignored: the test goes on
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  EXPECT_EQ(write(fds[1], "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  close(fds[1]);
#endif
}

}  // namespace
