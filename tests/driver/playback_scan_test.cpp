// The header scan against a plain model of the file on random recordings,
// the /PlaybackInfo text of a small damaged file, and a sparse file past
// 4 GiB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "driver/Playback.h"
#include "driver/PlaybackRecord.h"
#include "driver/PlaybackReport.h"
#include "driver/PlaybackScan.h"
#include "driver/RunSettings.h"
#include "driver_fakes_support.h"
#include "platform/TextOut.h"
#include "support/ChildProcess.h"

namespace {

class MemorySource final : public io::RecordSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
  bool Size(int64_t& size) override {
    size = static_cast<int64_t>(bytes_.size());
    return true;
  }
  bool ReadAt(int64_t offset, uint8_t* into, uint32_t length, uint32_t& got) override {
    const size_t at = std::min(static_cast<size_t>(offset), bytes_.size());
    got = static_cast<uint32_t>(std::min<size_t>(length, bytes_.size() - at));
    std::memcpy(into, bytes_.data() + at, got);
    return true;
  }

 private:
  std::string bytes_;
};

struct ModelRecord {
  int64_t offset;
  int64_t size;
  int32_t stamp;
};

// The wait before a record, as the operator is told it works.
int64_t ModelWaitMs(int32_t previous, int32_t stamp, int64_t maxGapMs) {
  const int64_t ms = (int64_t{stamp} - previous) / 10;
  if (ms < 1) return 1;
  return ms > maxGapMs ? std::min<int64_t>(1000, maxGapMs) : ms;
}

TEST(PlaybackScan, AgreesWithAPlainModelOnRandomRecordings) {
  std::mt19937 random(2024);
  for (int round = 0; round < 300; ++round) {
    const int count = static_cast<int>(random() % 40);
    const int64_t maxGapMs = 1 + random() % 3000;
    std::string file;
    std::vector<ModelRecord> model;
    int32_t stamp = static_cast<int32_t>(random() % 100000) - 50000;
    for (int i = 0; i < count; ++i) {
      const uint32_t size = 32 + random() % 100;
      // Mostly small steps, some backwards, some long jumps; -1 never.
      const int kind = static_cast<int>(random() % 10);
      stamp += kind == 0   ? -static_cast<int32_t>(random() % 500)
               : kind == 1 ? static_cast<int32_t>(random() % 100000)
                           : static_cast<int32_t>(random() % 300);
      if (stamp == -1) stamp = 0;
      model.push_back({static_cast<int64_t>(file.size()), size, stamp});
      file += drivertest::PlaybackRecord(size, stamp, static_cast<uint8_t>(i));
    }
    // Damage the end: a cut, a bad size word, or an end mark.
    io::RecordHead::Status expectedEnd = io::RecordHead::Status::kEnd;
    const int damage = count > 0 ? static_cast<int>(random() % 4) : 0;
    if (damage == 1) {
      file.resize(file.size() - 1 - random() % static_cast<uint32_t>(model.back().size - 1));
      expectedEnd = io::RecordHead::Status::kTruncated;
    } else if (damage == 2) {
      file.replace(static_cast<size_t>(model.back().offset), 4, drivertest::LittleEndianWord(5));
      expectedEnd = io::RecordHead::Status::kBadSize;
    } else if (damage == 3) {
      file.replace(static_cast<size_t>(model.back().offset) + 24, 4,
                   drivertest::LittleEndianWord(0xFFFFFFFFu));
    }
    const int64_t endOffset = damage > 0 ? model.back().offset : static_cast<int64_t>(file.size());
    if (damage > 0) model.pop_back();
    const int64_t startUnits = random() % 200000;

    MemorySource source(file);
    const driver::RecordingScan scan = driver::ScanRecording(source, maxGapMs, startUnits);
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_EQ(scan.records, static_cast<int64_t>(model.size()));
    EXPECT_EQ(scan.end.status, expectedEnd);
    EXPECT_EQ(scan.end.offset, endOffset);
    EXPECT_EQ(scan.Damaged(), damage == 1 || damage == 2);

    std::vector<driver::ScannedGap> gaps;
    int64_t replayMs = 0;
    driver::ScannedStart start;
    for (size_t i = 0; i < model.size(); ++i) {
      if (i > 0) {
        replayMs += ModelWaitMs(model[i - 1].stamp, model[i].stamp, maxGapMs);
        gaps.push_back({int64_t{model[i].stamp} - model[i - 1].stamp, model[i].offset,
                        static_cast<int64_t>(i), model[i].stamp});
      }
      if (!start.found && int64_t{model[i].stamp} - model[0].stamp >= startUnits) {
        start = {true, static_cast<int64_t>(i), model[i].offset, replayMs};
      }
    }
    std::stable_sort(gaps.begin(), gaps.end(),
                     [](const auto& a, const auto& b) { return a.stampUnits > b.stampUnits; });
    if (gaps.size() > 5) gaps.resize(5);
    EXPECT_EQ(scan.replayMs, replayMs);
    ASSERT_EQ(scan.largestGaps.size(), gaps.size());
    for (size_t i = 0; i < gaps.size(); ++i) {
      EXPECT_EQ(scan.largestGaps[i].stampUnits, gaps[i].stampUnits);
      EXPECT_EQ(scan.largestGaps[i].offset, gaps[i].offset);
      EXPECT_EQ(scan.largestGaps[i].index, gaps[i].index);
    }
    EXPECT_EQ(scan.start.found, start.found);
    if (start.found) {
      EXPECT_EQ(scan.start.index, start.index);
      EXPECT_EQ(scan.start.offset, start.offset);
      EXPECT_EQ(scan.start.replayedMs, start.replayedMs);
    }
    if (model.size() >= 2) {
      EXPECT_EQ(scan.joinGapMs, ModelWaitMs(model[0].stamp, model[1].stamp, maxGapMs));
      auto [small, large] = std::minmax_element(
          model.begin(), model.end(), [](const auto& a, const auto& b) { return a.size < b.size; });
      EXPECT_EQ(scan.smallest, small->size);
      EXPECT_EQ(scan.largest, large->size);
      EXPECT_EQ(scan.firstStamp, model.front().stamp);
      EXPECT_EQ(scan.lastStamp, model.back().stamp);
    }
  }
}

TEST(PlaybackInfo, SummarisesASmallFileWithOneBadRecord) {
  testsupport::TempDir dir;
  driver::ResetRunSettings();
  driver::RunSettings& settings = driver::Settings();
  settings.playbackFlag = 1;
  settings.playbackFilePath = dir.file("rec.dat");
  settings.playbackSpeed = 2;
  settings.playbackLoops = 3;
  settings.playbackMaxGapMs = 1500;
  // Gaps of 10 ms, 2 s (above the limit: 1 s), -5 ms (1 ms), 20 ms, then a
  // record that claims 31 bytes.
  std::string bad = drivertest::PlaybackRecord(64, 23000, 9);
  bad.replace(0, 4, drivertest::LittleEndianWord(27));
  testsupport::WriteWholeFile(
      settings.playbackFilePath,
      drivertest::PlaybackRecord(64, 2000, 1) + drivertest::PlaybackRecord(100, 2100, 2) +
          drivertest::PlaybackRecord(64, 22100, 3) + drivertest::PlaybackRecord(48, 22050, 4) +
          drivertest::PlaybackRecord(64, 22250, 5) + bad + drivertest::PlaybackRecord(64, 0, 6));
  platform::StringTextOut out;
  EXPECT_TRUE(driver::PrintPlaybackInfo(out));
  // One pass: 10 + 1000 + 1 + 20 = 1,031 ms; each further pass waits the
  // first gap, 10 ms, before it; three passes at speed 2: 3,113 / 2 ms.
  EXPECT_EQ(out.text(),
            "- Playback file: " + settings.playbackFilePath +
                "\n"
                "- Records: 5, 48 to 100 bytes\n"
                "- First stamp: 2000 : 014:00:00:00.200\n"
                "- Last stamp: 22250 : 014:00:00:02.225\n"
                "- Span: 00:00:02.025\n"
                "- Largest gaps:\n"
                "  2000.0 ms before record 3 at offset 164\n"
                "  20.0 ms before record 5 at offset 276\n"
                "  10.0 ms before record 2 at offset 64\n"
                "  -5.0 ms before record 4 at offset 228\n"
                "- Records cut short or with a bad size word: 1\n"
                "  the record at offset 340 gives its size as 31 bytes (a record holds 32 to "
                "268,435,456); nothing after it is replayed\n"
                "- Replay at speed 2, gaps above 1,500 ms replaced by 1,000 ms (1 of them): "
                "00:00:01.557 for 3 passes\n");
  driver::ResetRunSettings();
}

TEST(PlaybackReport, TheProgressLineHasTheOperatorsForm) {
  driver::RecordingScan scan;
  scan.records = 100'000;
  scan.replayMs = 700'000;  // 00:11:40
  scan.joinGapMs = 10;
  const driver::ReplayPlan plan{1.0, 60'000, 1, 0.0};
  EXPECT_EQ(driver::ProgressLine(scan, plan, {12'344, 1, 83'000}),
            "- Record 12,345 of 100,000 (12.3 %), pass 1 of 1, 00:01:23 of 00:11:40 replayed, "
            "about 00:10:17 left\n");
  // Two passes left at speed 2 after this one: (617 + 2 x 700.01) s / 2.
  EXPECT_EQ(driver::ProgressLine(scan, {2.0, 60'000, 5, 0.0}, {12'344, 3, 83'000}),
            "- Record 12,345 of 100,000 (12.3 %), pass 3 of 5, 00:01:23 of 00:11:40 replayed, "
            "about 00:16:48 left\n");
  EXPECT_EQ(driver::ProgressLine(scan, {1.0, 60'000, 0, 0.0}, {99'999, 7, 700'000}),
            "- Record 100,000 of 100,000 (100.0 %), pass 7 (for ever), 00:11:40 of 00:11:40 "
            "replayed, about 00:00:00 left in this pass\n");
}

// Records of the largest size, headers only: the file takes a few blocks.
TEST(PlaybackScan, ASparseFilePast4GiBIsScannedWithItsOffsetsWhole) {
#ifdef _WIN32
  GTEST_SKIP() << "NTFS makes a file sparse only when asked; writing 5 GiB is too much";
#else
  testsupport::TempDir dir;
  const std::string path = dir.file("big.dat");
  constexpr int64_t kRecord = io::kMaxRecordBytes;  // 256 MiB
  constexpr int kRecords = 20;                      // 5 GiB
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < kRecords; ++i) {
      // 100 ms apart, but 30 s before the record at 4.75 GiB.
      const int32_t stamp = i * 1000 + (i >= 19 ? 300'000 : 0);
      out.seekp(i * kRecord);
      out << drivertest::PlaybackRecord(32, stamp, 1)
                 .replace(0, 4, drivertest::LittleEndianWord(static_cast<uint32_t>(kRecord - 4)));
    }
    // A last header that the file ends inside.
    out.seekp(kRecords * kRecord);
    out << drivertest::PlaybackRecord(32, 999'999, 2).substr(0, 20);
  }
  ASSERT_EQ(std::filesystem::file_size(path), static_cast<uintmax_t>(kRecords * kRecord + 20));
  io::utFile file;
  ASSERT_EQ(file.Open(path, io::utFile::kModeRead), 0);
  io::FileRecordSource source(file);
  const driver::RecordingScan scan = driver::ScanRecording(source, 60'000, 190'000);
  EXPECT_EQ(scan.records, kRecords);
  ASSERT_FALSE(scan.largestGaps.empty());
  EXPECT_EQ(scan.largestGaps[0].offset, 19 * kRecord);  // 5,100,273,664
  EXPECT_EQ(scan.largestGaps[0].stampUnits, 301'000);
  EXPECT_EQ(scan.end.status, io::RecordHead::Status::kTruncated);
  EXPECT_EQ(scan.end.offset, kRecords * kRecord);
  EXPECT_TRUE(scan.start.found);
  EXPECT_EQ(scan.start.offset, 19 * kRecord);
  // Reading the record there through utFile lands on the same header.
  packet::SendBuffer buffer;
  ASSERT_EQ(file.Seek64(io::utFile::kOriginStart, scan.start.offset), 0);
  const io::RecordHead read = driver::ReadNextRecord(file, buffer);
  EXPECT_EQ(read.status, io::RecordHead::Status::kRecord);
  EXPECT_EQ(read.timeStamp, 319'000);
#endif
}

}  // namespace
