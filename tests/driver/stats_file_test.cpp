// The statistics file: UTC time texts, whole JSON lines, and a file that
// stops being written, without stopping anything else, once a write fails.
#include <gtest/gtest.h>

#include <string>

#include "driver/StatsFile.h"
#include "driver_fakes_support.h"
#include "support/ChildProcess.h"

namespace {

TEST(StatsFileTest, UtcTimeTexts) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "1970-01-01T00:00:00.000Z"},
      {951'782'400'999, "2000-02-29T00:00:00.999Z"},  // a leap day
      {1'796'811'302'123, "2026-12-09T10:15:02.123Z"},
      {4'102'444'799'001, "2099-12-31T23:59:59.001Z"},
  };
  for (const auto& [ms, text] : cases) EXPECT_EQ(driver::UtcTimeText(ms), text) << ms;
}

TEST(StatsFileTest, AppendsOneWholeJsonObjectPerEvent) {
  testsupport::TempDir dir;
  const std::string path = dir.file("s.jsonl");
  testsupport::WriteWholeFile(path, "{\"event\":\"earlier run\"}\n");
  platform::StringTextOut console;
  std::unique_ptr<driver::StatsFile> file;
  const platform::Status opened =
      driver::StatsFile::Open(path, console, file, [] { return int64_t{0}; });
  ASSERT_TRUE(opened.ok()) << opened.message();
  file->WriteEvent(
      "fault", {driver::StatsField::Text("kind", "quote \" and \\ and \n"),
                driver::StatsField::Number("ms", 1.0 / 0.0),
                driver::StatsField::Number("x", -2.5, 1), driver::StatsField::Integer("n", -7)});
  // Flushed at once: the line is there while the file is still open.
  const std::string text = testsupport::ReadWholeFile(path);
  EXPECT_EQ(text,
            "{\"event\":\"earlier run\"}\n"
            "{\"event\":\"fault\",\"wall\":\"1970-01-01T00:00:00.000Z\",\"run_id\":null,"
            "\"kind\":\"quote \\\" and \\\\ and \\n\",\"ms\":null,\"x\":-2.5,\"n\":-7}\n");
  const size_t second = text.find('\n') + 1;
  const auto members = drivertest::ParseFlatJson(text.substr(second, text.size() - second - 1));
  ASSERT_EQ(members.size(), 7u);
  EXPECT_EQ(members[3].second, "quote \" and \\ and \n");
  EXPECT_EQ(console.text(), "");
}

TEST(StatsFileTest, AFailedWriteIsToldOnceAndEndsTheFile) {
  platform::StringTextOut console;
  std::unique_ptr<driver::StatsFile> file;
  const platform::Status opened = driver::StatsFile::Open("/dev/full", console, file);
  if (!opened.ok()) GTEST_SKIP() << "no /dev/full here: " << opened.message();
  file->WriteEvent("connect", {driver::StatsField::Integer("connection", 1)});
  file->WriteEvent("end", {});
  EXPECT_FALSE(file->writing());
  EXPECT_EQ(console.text(),
            "** Warning - Writing the statistics file /dev/full failed (No space left on device); "
            "it is not written any more, the stream goes on\n");
}

}  // namespace
