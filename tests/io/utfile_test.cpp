#include "io/utFile.h"

#include <gtest/gtest.h>

#include <string>

#include "support/ChildProcess.h"

namespace {

using io::utFile;

TEST(UtFile, ReadsSeeksAndReportsPositionAndSize) {
  testsupport::TempDir dir;
  testsupport::WriteWholeFile(dir.file("f"), "0123456789");
  utFile file;
  EXPECT_TRUE(file.IsClosed());
  ASSERT_EQ(file.Open(dir.file("f"), utFile::kModeRead), 0);
  EXPECT_FALSE(file.IsClosed());
  char buffer[8] = {};
  uint32_t got = 0;
  ASSERT_EQ(file.Read(buffer, 4, got), 0);
  EXPECT_EQ(std::string(buffer, got), "0123");
  EXPECT_EQ(file.GetPosition64(), 4);
  const std::pair<int32_t, int64_t> seeks[] = {
      {utFile::kOriginStart, 7}, {utFile::kOriginEnd, -2}, {utFile::kOriginCurrent, -5}};
  const int64_t positions[] = {7, 8, 3};
  for (size_t i = 0; i < 3; ++i) {
    ASSERT_EQ(file.Seek64(seeks[i].first, seeks[i].second), 0);
    EXPECT_EQ(file.GetPosition64(), positions[i]);
  }
  EXPECT_EQ(file.Seek64(3, 0), 1);                      // no such origin
  EXPECT_EQ(file.Seek64(utFile::kOriginStart, -1), 1);  // before the start
  int64_t size = -1;
  EXPECT_EQ(file.GetSize64(size), 0);
  EXPECT_EQ(size, 10);
  ASSERT_EQ(file.Seek64(utFile::kOriginEnd, 0), 0);
  EXPECT_EQ(file.Read(buffer, 8, got), 0);
  EXPECT_EQ(got, 0u);  // the end of the file is no failure
  EXPECT_EQ(file.Close(), 0);
  EXPECT_TRUE(file.IsClosed());
}

TEST(UtFile, FailsWithoutAFileAndForBadModesOrPaths) {
  testsupport::TempDir dir;
  testsupport::WriteWholeFile(dir.file("f"), "x");
  utFile file;
  char byte = 0;
  uint32_t got = 7;
  EXPECT_EQ(file.Read(&byte, 1, got), 1);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(file.Close(), 1);
  EXPECT_EQ(file.GetPosition64(), -1);
  EXPECT_EQ(file.Seek64(utFile::kOriginStart, 0), 1);
  int64_t size = -1;
  EXPECT_EQ(file.GetSize64(size), 1);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(file.Open(dir.file("f"), 0), 1);
  EXPECT_EQ(file.Open(dir.file("f"), 4), 1);
  EXPECT_EQ(file.Open(dir.file("missing"), utFile::kModeRead), 1);
  EXPECT_EQ(file.Open(dir.path(), utFile::kModeRead), 1);  // a folder
  EXPECT_TRUE(file.IsClosed());
  // Opening again closes what was open first.
  ASSERT_EQ(file.Open(dir.file("f"), utFile::kModeReadWrite), 0);
  ASSERT_EQ(file.Open(dir.file("f"), utFile::kModeRead), 0);
  EXPECT_EQ(file.Read(&byte, 1, got), 0);
  EXPECT_EQ(byte, 'x');
}

}  // namespace
