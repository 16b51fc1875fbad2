#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <sstream>
#include <streambuf>
#include <string>

#include "artefacts/ParmInfoFile.h"
#include "packet/PacketFormat.h"
#include "packet/PacketState.h"
#include "packet/ParmTable.h"
#include "platform/Termination.h"
#include "support/ChildProcess.h"

namespace {

using artefacts::ParmInfoLine;
using artefacts::ParmInfoOutcome;

class ParmInfoTest : public ::testing::Test {
 protected:
  ParmInfoOutcome Read(const std::string& text) {
    std::istringstream in(text);
    return artefacts::ReadParmInfo(in, "parmInfo.txt", format, table, state);
  }

  packet::PacketFormat format;
  packet::ParmTable table;
  packet::PacketState state;
};

// One line at 50 packets per second, Custom source unless `nep`.
struct LineCase {
  const char* line;
  bool nep;
  int32_t records;
  int32_t sizeGrowth;
  int32_t valuesPerPacket;
  int32_t packetsPerSample;
};

TEST_F(ParmInfoTest, ClassifiesAndSizesEachKindOfLine) {
  const LineCase cases[] = {
      {"10,50", false, 10, 60, 1, 0},
      {"4,200", false, 4, 96, 4, 0},
      {"4,200", true, 4, 128, 4, 0},
      {"3,12.5", false, 3, 18, 0, 4},
      {"1,30", false, 1, 6, 0, 1},
      {"2,50.0", false, 2, 12, 1, 0},
      {"5,0", false, 0, 0, 0, 0},
      {"5,-2", false, 0, 0, 0, 0},
      {"5", false, 0, 0, 0, 0},
      {"5,abc", false, 0, 0, 0, 0},
      {"0,100", false, 0, 0, 0, 0},
      {"abc,100", false, 0, 0, 0, 0},
      {"", false, 0, 0, 0, 0},
      {"   // 10,50", false, 0, 0, 0, 0},
      {"10,100,more", false, 10, 120, 2, 0},
      {"  7 ,  25  \r", false, 7, 42, 0, 2},
      {"5,inf", false, 0, 0, 0, 0},
      {"5,1e400", false, 0, 0, 0, 0},
      {"0x10,50", false, 0, 0, 0, 0},
  };
  for (const LineCase& c : cases) {
    format = packet::PacketFormat{};
    format.sourceType = c.nep ? packet::kSourceNep : packet::kSourceCustom;
    table.parmCount = 0;
    ASSERT_TRUE(Read(std::string(c.line) + "\n").ok()) << c.line;
    const int32_t start = c.nep ? 2404 : 1244;
    EXPECT_EQ(table.parmCount, c.records) << c.line;
    EXPECT_EQ(state.packetBufferSize - start, c.sizeGrowth) << c.line;
    EXPECT_EQ(state.timeValuesPerPacket, 200);
    if (c.records > 0) {
      EXPECT_EQ(table.records[0].valuesPerPacket, c.valuesPerPacket) << c.line;
      EXPECT_EQ(table.records[0].packetsPerSample, c.packetsPerSample) << c.line;
      EXPECT_EQ(table.records[0].value, 0.0f);
      EXPECT_EQ(table.records[0].packetCountdown, 0);
    }
  }
}

TEST_F(ParmInfoTest, TagsRunOnOverLinesAndWrapIn16BitsForCustom) {
  format.tagOffset = 65534;
  ASSERT_TRUE(Read("2,50\r\n// comment\r\n1,10\r\n").ok());
  ASSERT_EQ(table.parmCount, 3);
  EXPECT_EQ(table.records[0].tag, 1);
  EXPECT_EQ(table.records[1].tag, 2);
  EXPECT_EQ(table.records[2].tag, 3);
  EXPECT_EQ(table.records[2].nepTag, 0);
}

TEST_F(ParmInfoTest, NepTagsStartTwoAboveTheOffset) {
  format.sourceType = packet::kSourceNep;
  format.tagOffset = 100;
  ASSERT_TRUE(Read("2,50\n").ok());
  EXPECT_EQ(table.records[0].nepTag, 102);
  EXPECT_EQ(table.records[1].nepTag, 103);
  EXPECT_EQ(table.records[0].tag, 0);
}

TEST_F(ParmInfoTest, StartingSizeFollowsThePacketRate) {
  format.packetRate = 200;
  ASSERT_TRUE(Read("").ok());
  EXPECT_EQ(state.timeValuesPerPacket, 50);
  EXPECT_EQ(state.packetBufferSize, 44 + 300);
  EXPECT_EQ(table.parmCount, 0);
}

TEST_F(ParmInfoTest, RefusesMoreRecordsThanTheTableHolds) {
  ASSERT_TRUE(Read("262144,1\n").ok());
  EXPECT_EQ(table.parmCount, 262144);

  table.parmCount = 0;
  ParmInfoOutcome outcome = Read("262000,1\n\n145,1\n");
  EXPECT_EQ(outcome.status, ParmInfoOutcome::Status::kTooManyRecords);
  EXPECT_EQ(outcome.lineNumber, 3);
  EXPECT_EQ(outcome.message,
            "** Error - parmInfo.txt line 3 asks for more than 262144 parameters\n");
  EXPECT_EQ(table.parmCount, 262000);

  table.parmCount = 0;
  EXPECT_EQ(Read("99999999999,1\n").status, ParmInfoOutcome::Status::kTooManyRecords);
  EXPECT_EQ(table.parmCount, 0);
}

TEST_F(ParmInfoTest, RefusesAPacketPastThe32BitSize) {
  ParmInfoOutcome outcome = Read("1,50\n1000,1e9\n");
  EXPECT_EQ(outcome.status, ParmInfoOutcome::Status::kPacketTooLarge);
  EXPECT_EQ(outcome.lineNumber, 2);
  EXPECT_EQ(outcome.message,
            "** Error - parmInfo.txt line 2 makes the packet larger than 2147483647 bytes\n");
  EXPECT_EQ(table.parmCount, 1);
  EXPECT_EQ(state.packetBufferSize, 1250);

  table.parmCount = 0;
  EXPECT_EQ(Read("1,1e300\n").status, ParmInfoOutcome::Status::kPacketTooLarge);
  table.parmCount = 0;
  // A tiny rate gives a huge packets-per-sample, saturated, not undefined.
  ASSERT_TRUE(Read("1,1e-300\n").ok());
  EXPECT_EQ(table.records[0].packetsPerSample, 2147483647);
}

TEST_F(ParmInfoTest, LinesAreBoundedAt64KiB) {
  const std::string padded = "3,50" + std::string(artefacts::kMaxParmInfoLine - 4, ' ');
  ASSERT_TRUE(Read(padded + "\n2,50\n").ok());
  EXPECT_EQ(table.parmCount, 5);
  ParmInfoOutcome outcome = Read("1,50\n" + padded + " \n2,50\n");
  EXPECT_EQ(outcome.status, ParmInfoOutcome::Status::kLineTooLong);
  EXPECT_EQ(outcome.message, "** Error - parmInfo.txt line 2 is longer than 65536 bytes\n");
}

TEST_F(ParmInfoTest, EverySkippedLineIsNamedWithItsReason) {
  ParmInfoOutcome outcome =
      Read("// comment\n\n 2,nan\n2,inf\n2,0x10\r\n2,1e400\n2,abc\n2\nabc,50\n-4,50\n0,50\n3,50\n");
  ASSERT_TRUE(outcome.ok());
  EXPECT_EQ(table.parmCount, 3);
  EXPECT_EQ(outcome.notices,
            "- Line 3 skipped: the rate \"nan\" is not a number above 0\n"
            "- Line 4 skipped: the rate \"inf\" is not a number above 0\n"
            "- Line 5 skipped: the rate \"0x10\" is not a number above 0\n"
            "- Line 6 skipped: the rate \"1e400\" is not a number above 0\n"
            "- Line 7 skipped: the rate \"abc\" is not a number above 0\n"
            "- Line 8 skipped: no rate\n"
            "- Line 9 skipped: the count \"abc\" adds no parameters\n"
            "- Line 10 skipped: the count \"-4\" adds no parameters\n"
            "- Line 11 skipped: the count \"0\" adds no parameters\n");
  // Past twenty, the rest are counted.
  std::string many;
  for (int i = 0; i < 25; ++i) many += "1,0\n";
  outcome = Read(many);
  EXPECT_EQ(std::count(outcome.notices.begin(), outcome.notices.end(), '\n'), 21);
  EXPECT_TRUE(outcome.notices.ends_with(
      "- Line 20 skipped: the rate \"0\" is not a number above 0\n- 5 more lines skipped\n"))
      << outcome.notices;
}

// A stream that fails after its first piece, as a disk read error would.
class FailingBuffer final : public std::streambuf {
 public:
  explicit FailingBuffer(std::string first) : first_(std::move(first)) {}

 protected:
  int_type underflow() override {
    if (served_) throw std::ios_base::failure("read failed");
    served_ = true;
    setg(first_.data(), first_.data(), first_.data() + first_.size());
    return traits_type::to_int_type(first_[0]);
  }

 private:
  std::string first_;
  bool served_ = false;
};

TEST_F(ParmInfoTest, AReadErrorIsAnErrorAndATerminationRequestStopsTheReading) {
  FailingBuffer buffer("1,50\n2,5");
  std::istream in(&buffer);
  ParmInfoOutcome outcome = artefacts::ReadParmInfo(in, "p.txt", format, table, state);
  EXPECT_EQ(outcome.status, ParmInfoOutcome::Status::kReadError);
  EXPECT_EQ(outcome.message, "** Error - p.txt line 2: reading the file failed\n");

  platform::InstallTerminationHandlers();
  ASSERT_EQ(raise(SIGTERM), 0);
  outcome = Read("1,50\n");
  platform::ResetTerminationRequest();
  EXPECT_EQ(outcome.status, ParmInfoOutcome::Status::kInterrupted);
}

TEST(ParseParmInfoLine, SortsLinesIntoIgnoredSkippedAndAccepted) {
  EXPECT_EQ(artefacts::ParseParmInfoLine(" \t\v\f ").kind, ParmInfoLine::Kind::kIgnored);
  EXPECT_EQ(artefacts::ParseParmInfoLine("  //x").kind, ParmInfoLine::Kind::kIgnored);
  EXPECT_EQ(artefacts::ParseParmInfoLine("/x,5").kind, ParmInfoLine::Kind::kAccepted);
  EXPECT_EQ(artefacts::ParseParmInfoLine("5,").kind, ParmInfoLine::Kind::kSkipped);
  ParmInfoLine line = artefacts::ParseParmInfoLine("-3,2.5");
  EXPECT_EQ(line.kind, ParmInfoLine::Kind::kAccepted);
  EXPECT_EQ(line.count, -3);
  EXPECT_EQ(line.rate, 2.5);
}

class ProcessParmInfoFileTest : public ::testing::Test {
 protected:
  ParmInfoOutcome Process(const std::string& name) {
    return artefacts::ProcessParmInfoFile(name, format, table, state);
  }

  testsupport::TempDir dir;
  packet::PacketFormat format;
  packet::ParmTable table;
  packet::PacketState state;
};

TEST_F(ProcessParmInfoFileTest, FillsTheTableFromTheNamedFile) {
  testsupport::WriteWholeFile(dir.file("p.txt"), "10,50\n");
  ASSERT_TRUE(Process(dir.file("p.txt")).ok());
  EXPECT_EQ(table.parmCount, 10);
  EXPECT_EQ(state.packetBufferSize, 1304);
}

TEST_F(ProcessParmInfoFileTest, OnlyARegularFileWithParametersWillDo) {
  const std::pair<std::string, std::string> cases[] = {
      {"/dev/zero", "/dev/zero: is not a regular file"},
      {dir.path(), dir.path() + ": is a folder, not a file"}};
  for (const auto& [name, reason] : cases) {
    ParmInfoOutcome outcome = Process(name);
    EXPECT_EQ(outcome.status, ParmInfoOutcome::Status::kNotRegular);
    EXPECT_EQ(outcome.reason.message(), reason);
  }
  EXPECT_EQ(Process(dir.file("missing.txt")).reason.message(),
            dir.file("missing.txt") + ": does not exist");
  testsupport::WriteWholeFile(dir.file("none.txt"), "// nothing\n5,0\n");
  ParmInfoOutcome outcome = Process(dir.file("none.txt"));
  EXPECT_EQ(outcome.status, ParmInfoOutcome::Status::kNoParameters);
  EXPECT_EQ(outcome.message, "** Error - " + dir.file("none.txt") + " gives no parameters\n");
}

TEST_F(ProcessParmInfoFileTest, AMissingFileChangesNothing) {
  EXPECT_EQ(Process(dir.file("absent.txt")).status, ParmInfoOutcome::Status::kCannotOpen);
  EXPECT_EQ(state.packetBufferSize, 0);
}

}  // namespace
