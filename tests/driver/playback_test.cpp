// Playback against real loopback clients, paced on a fake clock: what each
// client receives is compared byte for byte with the file, and when each
// record went out is compared with its time stamp.
#include "driver/Playback.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/Pacing.h"
#include "driver/RunSettings.h"
#include "driver/StatsFile.h"
#include "driver_fakes_support.h"
#include "packet/PacketState.h"
#include "platform/Socket.h"
#include "platform/TextOut.h"
#include "support/ChildProcess.h"

namespace {

using driver::kNsPerMs;
using driver::PlaybackEnd;

constexpr char kGreeting[] = {1, 0, 0, 0, 0};
constexpr char kComplete[] = "File is Complete(or read error?)...\n";

std::string Record(uint32_t size, int32_t stamp, uint8_t seed) {
  return drivertest::PlaybackRecord(size, stamp, seed);
}

// Console text that other threads may wait on.
class WatchedTextOut final : public platform::TextOut {
 public:
  void Write(std::string_view text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    text_.append(text);
    changed_.notify_all();
  }
  bool WaitFor(const std::string& text) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10),
                             [&] { return text_.find(text) != std::string::npos; });
  }
  std::string text() {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string text_;
};

class SendLog final : public driver::PlaybackObserver {
 public:
  void RecordSent(const driver::SentRecord& record) override { sent.push_back(record); }
  // Send times relative to the first clock reading, in ms.
  std::vector<double> SendMs(int64_t originNs) const {
    std::vector<double> ms;
    for (const driver::SentRecord& r : sent) {
      ms.push_back(static_cast<double>(r.sendStartNs - originNs) / kNsPerMs);
    }
    return ms;
  }
  std::vector<driver::SentRecord> sent;
};

// Key presses at set times of the fake clock, each consumed by one read.
class ScheduledKeys final : public platform::KeySource {
 public:
  explicit ScheduledKeys(drivertest::FakeClock& clock) : clock_(clock) {}
  bool KeyPending() override {
    return next_ < pressAtNs.size() && clock_.now() >= pressAtNs[next_];
  }
  int ReadKey() override {
    if (!KeyPending()) return platform::kEndOfInput;
    ++next_;
    return 'k';
  }
  std::vector<int64_t> pressAtNs;

 private:
  drivertest::FakeClock& clock_;
  size_t next_ = 0;
};

class PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver::ResetRunSettings();
    driver::RunSettings& settings = driver::Settings();
    port = testsupport::FreeLoopbackPort();
    settings.port = port;
    settings.playbackFlag = 1;
    settings.playbackFilePath = dir.file("rec.dat");
    origin = clock.now();
  }
  void TearDown() override {
    if (player.joinable()) player.join();
    driver::ResetRunSettings();
  }

  void Start(const std::string& file) {
    testsupport::WriteWholeFile(dir.file("rec.dat"), file);
    player = std::thread([this] {
      driver::RunEnvironment env{console, keys, clock};
      end = driver::RunPlayback(env, buffer, &log, stats);
    });
    ASSERT_TRUE(console.WaitFor("- Blocked waiting for connect by the YEB on Port: ( "))
        << console.text();
  }

  // One YEB: connects and collects everything until the tool closes.
  std::string Client() {
    std::string reason;
    platform::TcpStream stream = platform::ConnectTcp("127.0.0.1", port, 5000, reason);
    EXPECT_TRUE(stream.IsOpen()) << reason;
    std::vector<uint8_t> bytes = drivertest::ReadUntilClosed(stream, 20000);
    return std::string(bytes.begin(), bytes.end());
  }

  PlaybackEnd Finish() {
    player.join();
    return end;
  }

  std::string Greeting() const { return std::string(kGreeting, 5); }
  double DueMs(size_t i) const {
    return static_cast<double>(log.sent[i].dueNs - origin) / kNsPerMs;
  }

  testsupport::TempDir dir;
  int port = 0;
  WatchedTextOut console;
  drivertest::FakeClock clock;
  ScheduledKeys keys{clock};
  packet::SendBuffer buffer;
  SendLog log;
  driver::StatsFile* stats = nullptr;
  int64_t origin = 0;
  std::thread player;
  PlaybackEnd end = PlaybackEnd::kTerminated;
};

TEST_F(PlaybackTest, AFileOfOneRecordSendsOnlyTheGreeting) {
  Start(Record(64, 1000, 1));
  EXPECT_EQ(Client(), Greeting());
  EXPECT_EQ(Finish(), PlaybackEnd::kFileComplete);
  EXPECT_EQ(console.text(),
            "1. Playback Mode, Type: KestCustom\n\n2. Playback File: " + dir.file("rec.dat") +
                "\n\n3. Wait for YEB connect...\n\n- Blocked waiting for connect by the YEB on "
                "Port: ( " +
                std::to_string(port) +
                " )\n4. Start data source transfer - hit any key to continue...\n\n" + kComplete);
}

TEST_F(PlaybackTest, GapsAreClampedAndEachRecordGoesOutAtItsOwnSize) {
  // Sizes differ record by record: each must go out whole and alone.
  const std::string r1 = Record(64, 1005, 2);      // 0.5 ms after the reference: 1 ms
  const std::string r2 = Record(40, 500, 3);       // falling: 1 ms
  const std::string r3 = Record(1000, 700500, 4);  // 70 s jump: reported, 1 s
  const std::string r4 = Record(32, 700700, 5);    // 20 ms, header only
  Start(Record(200, 1000, 1) + r1 + r2 + r3 + r4 + Record(48, -1, 6) + Record(64, 700800, 7));
  EXPECT_EQ(Client(), Greeting() + r1 + r2 + r3 + r4);
  EXPECT_EQ(Finish(), PlaybackEnd::kFileComplete);
  ASSERT_EQ(log.sent.size(), 4u);
  EXPECT_EQ(log.SendMs(origin), (std::vector<double>{1, 2, 1002, 1022}));
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(log.sent[i].sendStartNs, log.sent[i].dueNs);
  const std::string text = console.text();
  EXPECT_NE(text.find("Excessive Header Time Jump: 70000\n- Current Time: 700500 : "
                      "014:00:01:10.050\n" +
                      std::string(kComplete)),
            std::string::npos)
      << text;
}

TEST_F(PlaybackTest, RecordTimesAreShownOncePerSecondInFullPrecision) {
  Start(Record(32, 35'990'000, 1) + Record(32, 36'000'000, 2) + Record(32, 36'005'000, 3) +
        Record(32, 36'010'000, 4) + Record(32, 863'999'999, 5));
  Client();
  EXPECT_EQ(Finish(), PlaybackEnd::kFileComplete);
  const std::string text = console.text();
  EXPECT_NE(text.find("- Current Time: 36000000 : 014:01:00:00.000\n"
                      "- Current Time: 36010000 : 014:01:00:01.000\n"
                      "Excessive Header Time Jump: 82798999\n"
                      "- Current Time: 863999999 : 014:23:59:59.999\n"),
            std::string::npos)
      << text;
}

TEST_F(PlaybackTest, ARecordCutShortByTheEndOfTheFileIsNotSent) {
  const std::string r1 = Record(100, 110, 2);
  std::string cut = Record(100, 120, 3).substr(0, 60);
  // It claims 200 MiB, within the limit but past the end of the file.
  cut.replace(0, 4, drivertest::LittleEndianWord(200u << 20));
  Start(Record(100, 100, 1) + r1 + cut);
  EXPECT_EQ(Client(), Greeting() + r1);
  EXPECT_EQ(Finish(), PlaybackEnd::kFileComplete);
  EXPECT_NE(console.text().find(std::string(kComplete) +
                                "- The file ends inside the record at offset 200; it was not "
                                "sent\n"),
            std::string::npos)
      << console.text();
  EXPECT_EQ(buffer.size(), 100);  // no buffer was sized from the claim
}

struct BadSizeCase {
  uint32_t sizeWord;
  const char* shownSize;
};

class PlaybackBadSizeTest : public PlaybackTest,
                            public ::testing::WithParamInterface<BadSizeCase> {};

TEST_P(PlaybackBadSizeTest, EndsPlaybackWithTheOffsetAndSizesNoBuffer) {
  const std::string r1 = Record(40, 20, 2);
  std::string bad = Record(40, 30, 3);
  bad.replace(0, 4, drivertest::LittleEndianWord(GetParam().sizeWord));
  Start(Record(40, 10, 1) + r1 + bad + Record(40, 40, 4));
  EXPECT_EQ(Client(), Greeting() + r1);
  EXPECT_EQ(Finish(), PlaybackEnd::kReadError);
  EXPECT_NE(console.text().find(
                std::string(kComplete) + "** Error - The record at offset 80 gives its size as " +
                GetParam().shownSize + " bytes; a record holds 32 to 268435456 bytes\n"),
            std::string::npos)
      << console.text();
  EXPECT_EQ(buffer.size(), 40);
}

INSTANTIATE_TEST_SUITE_P(Words, PlaybackBadSizeTest,
                         ::testing::Values(BadSizeCase{0xFFFFFFFFu, "4294967299"},
                                           BadSizeCase{27, "31"},
                                           BadSizeCase{256u * 1024 * 1024 - 3, "268435457"}));

TEST_F(PlaybackTest, ANewConnectionResumesTheFileAndTakesItsFirstRecordAsTheReference) {
  std::vector<std::string> r;
  for (int i = 0; i < 8; ++i) r.push_back(Record(36 + 4 * i, 100 * i, static_cast<uint8_t>(i)));
  std::string file;
  for (const std::string& record : r) file += record;
  // 10 ms apart: r1, r2, r3 are due at 10, 20, 30 ms; the key at 30 ms ends
  // the first transfer right after r3.
  keys.pressAtNs = {origin + 30 * kNsPerMs};
  Start(file);
  EXPECT_EQ(Client(), Greeting() + r[1] + r[2] + r[3]);
  // r4 is the second connection's reference; its schedule starts anew.
  EXPECT_EQ(Client(), Greeting() + r[5] + r[6] + r[7]);
  EXPECT_EQ(Finish(), PlaybackEnd::kFileComplete);
  ASSERT_EQ(log.sent.size(), 6u);
  EXPECT_EQ(log.SendMs(origin), (std::vector<double>{10, 20, 30, 40, 50, 60}));
  EXPECT_NE(console.text().find("- YEB terminated the connection - go to 'wait for connect' "
                                "state...\n\n- The transfer was ended by a key press, not by "
                                "the YEB\n\n- Blocked waiting"),
            std::string::npos);
}

TEST_F(PlaybackTest, PlaybackSpeedDividesEveryWaitAfterTheClamp) {
  driver::Settings().playbackSpeed = 4;
  // 20 ms, 0.5 ms (raised to 1 ms before the division), 70 s (1 s), 20 ms.
  Start(Record(32, 0, 1) + Record(32, 200, 2) + Record(32, 205, 3) + Record(32, 700205, 4) +
        Record(32, 700405, 5));
  Client();
  EXPECT_EQ(Finish(), PlaybackEnd::kFileComplete);
  EXPECT_EQ(log.SendMs(origin), (std::vector<double>{5, 5.25, 255.25, 260.25}));
}

TEST_F(PlaybackTest, ARunOfOddSpeedKeepsItsScheduleWithoutDrift) {
  // 3,000 gaps of 1 ms at speed 3: every due time is a third of a ms, and
  // rounding must not add up.
  driver::Settings().playbackSpeed = 3;
  std::string file;
  for (int i = 0; i <= 3000; ++i) file += Record(32, 10 * i, 1);
  Start(file);
  Client();
  EXPECT_EQ(Finish(), PlaybackEnd::kFileComplete);
  ASSERT_EQ(log.sent.size(), 3000u);
  EXPECT_EQ(DueMs(2999), 1000.0);
  EXPECT_EQ(log.sent[0].dueNs - origin, 333'333);
}

TEST_F(PlaybackTest, TheStatsFileCountsOneSecondOfWallTimeAsACycle) {
  std::unique_ptr<driver::StatsFile> file;
  const platform::Status opened = driver::StatsFile::Open(dir.file("stats.jsonl"), console, file);
  ASSERT_TRUE(opened.ok()) << opened.message();
  stats = file.get();
  // Five records 400 ms apart after the reference: the first cycle closes
  // with the third, at 1.2 s; the last two are in the end's count only.
  std::string records;
  for (int i = 0; i <= 5; ++i) records += Record(40, 4000 * i, static_cast<uint8_t>(i));
  Start(records);
  Client();
  EXPECT_EQ(Finish(), PlaybackEnd::kFileComplete);
  file.reset();
  std::istringstream lines(testsupport::ReadWholeFile(dir.file("stats.jsonl")));
  std::vector<std::map<std::string, std::string>> events;
  for (std::string line; std::getline(lines, line);) {
    const auto members = drivertest::ParseFlatJson(line);
    ASSERT_FALSE(members.empty()) << line;
    events.emplace_back(members.begin(), members.end());
  }
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0]["event"], "connect");
  EXPECT_EQ(events[1]["event"], "cycle");
  EXPECT_EQ(events[1]["packets"], "3");
  EXPECT_EQ(events[1]["bytes"], "120");
  EXPECT_EQ(events[1]["cycle_ms"], "1200.0");
  EXPECT_EQ(events[1]["rate"], "2.5");
  EXPECT_EQ(events[1]["late_packets"], "0");
  EXPECT_EQ(events[1]["data_time"], "014:00:00:01.200");
  EXPECT_EQ(events[2]["event"], "end");
  EXPECT_EQ(events[2]["packets"], "5");
  EXPECT_EQ(events[2]["reason"], "file_complete");
}

TEST_F(PlaybackTest, AMissingFileIsReportedBeforeAnythingElse) {
  driver::RunEnvironment env{console, keys, clock};
  EXPECT_EQ(driver::RunPlayback(env, buffer), PlaybackEnd::kCannotOpen);
  EXPECT_EQ(console.text(), "");
}

}  // namespace

namespace {

TEST_F(PlaybackTest, LoopedPassesRunTheScheduleOnAndSendTheFirstRecord) {
  driver::RunSettings& settings = driver::Settings();
  settings.playbackLoops = 3;
  settings.playbackScan = true;
  const std::string r0 = Record(40, 0, 1), r1 = Record(48, 100, 2), r2 = Record(40, 300, 3);
  Start(r0 + r1 + r2);
  EXPECT_EQ(Client(), Greeting() + r1 + r2 + r0 + r1 + r2 + r0 + r1 + r2);
  EXPECT_EQ(Finish(), PlaybackEnd::kFileComplete);
  // 10 and 20 ms apart; a new pass waits the first gap (10 ms) before r0.
  EXPECT_EQ(log.SendMs(origin), (std::vector<double>{10, 30, 40, 50, 70, 80, 90, 110}));
  const std::string text = console.text();
  const size_t pass3 = text.find("- Pass 3 of 3\n" + std::string(kComplete));
  ASSERT_NE(pass3, std::string::npos) << text;
  EXPECT_LT(text.find("- Pass 1 of 3\n"), text.find("- Pass 2 of 3\n")) << text;
  EXPECT_LT(text.find("- Pass 2 of 3\n"), pass3) << text;
}

TEST_F(PlaybackTest, ARecordWhoseSendFailedIsTheNextConnectionsReference) {
  // r1 is larger than the loopback buffers: with the first YEB not reading,
  // its send is still blocked when the key comes, and fails.
  const std::string r0 = Record(40, 0, 1), r1 = Record(32u << 20, 100, 2);
  const std::string r2 = Record(40, 200, 3), r3 = Record(40, 300, 4);
  keys.pressAtNs = {origin + 10 * kNsPerMs};
  Start(r0 + r1 + r2 + r3);
  {
    std::string reason;
    platform::TcpStream silent = platform::ConnectTcp("127.0.0.1", port, 5000, reason);
    ASSERT_TRUE(silent.IsOpen()) << reason;
    ASSERT_TRUE(console.WaitFor("- YEB terminated the connection")) << console.text();
  }
  EXPECT_EQ(Client(), Greeting() + r2 + r3);
  EXPECT_EQ(Finish(), PlaybackEnd::kFileComplete);
}

}  // namespace
