// The C streams the programs open through the platform: what each mode does
// to an existing file, and that a missing folder reads as ENOENT on every
// system (the callers word their messages from errno).

#include "platform/File.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "support/ChildProcess.h"

namespace {

using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

bool Put(std::FILE* stream, const std::string& bytes) {
  if (stream == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
  return std::fclose(stream) == 0 && written;
}

TEST(FileStreams, AppendAddsWritingReplacesAndBytesPassUntranslated) {
  TempDir dir;
  const std::string path = dir.file("log.csv");
  WriteWholeFile(path, "old\n");
  ASSERT_TRUE(Put(platform::OpenStreamForAppending(path), "a\n"));
  ASSERT_TRUE(Put(platform::OpenStreamForAppending(path), "b\r\n\x1a"));
  EXPECT_EQ(ReadWholeFile(path), "old\na\nb\r\n\x1a");
  ASSERT_TRUE(Put(platform::OpenStreamForWriting(path), "new\n"));
  EXPECT_EQ(ReadWholeFile(path), "new\n");
  ASSERT_TRUE(Put(platform::OpenStreamForAppending(dir.file("fresh.csv")), "x\n"));
  EXPECT_EQ(ReadWholeFile(dir.file("fresh.csv")), "x\n");
}

TEST(FileStreams, AMissingFolderFailsWithEnoent) {
  TempDir dir;
  const std::string path = dir.file("no/such/file");
  errno = 0;
  EXPECT_EQ(platform::OpenStreamForAppending(path), nullptr);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(platform::OpenStreamForWriting(path), nullptr);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(platform::OpenStreamForReading(path, "rb"), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace
