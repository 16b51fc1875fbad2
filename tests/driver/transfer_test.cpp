#include "driver/Transfer.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "artefacts/ParmInfoFile.h"
#include "driver/ProcessState.h"
#include "driver/RunSettings.h"
#include "driver/StatsFile.h"
#include "driver_fakes_support.h"
#include "packet/PacketState.h"
#include "packet/ParmTable.h"
#include "platform/TextOut.h"
#include "support/ChildProcess.h"

namespace {

using drivertest::FloatAt;
using drivertest::U32At;

// The process-wide state set up from a parameter text, a real loopback
// connection, a fake clock and scripted keys. Each transfer runs while a
// client thread collects what arrives.
class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver::ResetRunSettings();
    driver::ResetParmTable();
    driver::ResetPacketState();
    driver::ResetStreamState();
    port = static_cast<uint16_t>(testsupport::FreeLoopbackPort());
    listener = std::make_unique<net::utServerSocket>(port, 1, console);
    ASSERT_TRUE(listener->IsValid());
  }
  void TearDown() override {
    driver::ResetRunSettings();
    driver::ResetParmTable();
    driver::ResetPacketState();
    driver::ResetStreamState();
  }

  void Load(const std::string& parmText) {
    std::istringstream in(parmText);
    ASSERT_TRUE(artefacts::ReadParmInfo(in, "p", driver::PacketFormatOf(driver::Settings()),
                                        driver::Parms(), driver::Packets())
                    .ok());
    packet::PacketState& state = driver::Packets();
    ASSERT_TRUE(buffer.Allocate(state.packetBufferSize));
    state.packetHeader[0] = static_cast<uint32_t>(state.packetBufferSize - 4);
  }

  // Runs one transfer that a key pressed `keyAfterMs` of fake time after
  // its start ends (at the first check from then on); returns the bytes the
  // client received.
  std::vector<uint8_t> RunOneTransfer(double keyAfterMs) {
    keys.PressAfter(static_cast<int64_t>(keyAfterMs * 1e6));
    std::string reason;
    platform::TcpStream client = platform::ConnectTcp("127.0.0.1", port, 2000, reason);
    EXPECT_TRUE(client.IsOpen()) << reason;
    std::unique_ptr<net::utServerSocket> connection = listener->Accept();
    EXPECT_TRUE(connection);
    std::vector<uint8_t> received;
    std::thread reader([&] { received = drivertest::ReadUntilClosed(client, 20000); });
    driver::RunEnvironment env{console, keys, clock};
    driver::RunTransfer(*connection, buffer, env, stats);
    connection.reset();
    reader.join();
    return received;
  }

  std::vector<std::string> LinesStartingWith(const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(console.text());
    for (std::string line; std::getline(in, line);) {
      if (line.starts_with(prefix)) lines.push_back(line);
    }
    return lines;
  }

  uint16_t port = 0;
  platform::StringTextOut console;
  drivertest::FakeClock clock;
  drivertest::ClockKeys keys{clock};
  std::unique_ptr<net::utServerSocket> listener;
  packet::SendBuffer buffer;
  driver::StatsTarget stats;
};

TEST_F(TransferTest, StatisticsComeOncePerCycleAndTheFirstCycleIsOnePacketShort) {
  Load("2,50\n");
  std::vector<uint8_t> bytes = RunOneTransfer(2410);  // 49 + 50 + 21 packets
  ASSERT_EQ(bytes.size(), 120u * 1256u);
  EXPECT_EQ(console.text(),
            "Overall send time is: 980.000000\n"
            "- Time to build one packet and send(msec): ( 0.000000 )\n"
            "- Current Time: 001:00:00:00.980\n"
            "Overall send time is: 1000.000000\n"
            "- Time to build one packet and send(msec): ( 0.000000 )\n"
            "- Current Time: 001:00:00:01.980\n"
            "- YEB terminated the connection - go to 'wait for connect' state...\n\n"
            "- The transfer was ended by a key press, not by the YEB\n\n");
  // The key that ended the transfer was consumed.
  EXPECT_EQ(keys.reads, 1);
  EXPECT_FALSE(keys.KeyPending());
}

TEST_F(TransferTest, AStalledSendShowsInTheOverallTimeTheBehindLineAndTheStatsFile) {
  Load("2,50\n");
  testsupport::TempDir dir;
  std::string error;
  std::unique_ptr<driver::StatsFile> file = driver::StatsFile::Open(
      dir.file("stats.jsonl"), console, error, [] { return int64_t{1'796'811'302'123}; });
  ASSERT_TRUE(file) << error;
  stats = {file.get(), 3};
  // The send of packet 60, the eleventh of the second cycle, takes 50 ms.
  // The twelfth then goes out 31 ms after its due time (1 ms after the slow
  // send), the thirteenth right after it 11 ms late, and from the fourteenth
  // the stream is on schedule again: the cycle ends on time and the packet
  // the hold-up cost is not lost.
  bool stalled = false;
  clock.afterRead = [&]() -> int64_t {
    if (stalled || driver::Packets().packetHeader[1] != 60) return 0;
    stalled = true;
    return 50'000'000;
  };
  std::vector<uint8_t> bytes = RunOneTransfer(3040);  // 49 + 50 + 50 + 2 packets
  ASSERT_EQ(bytes.size(), 151u * 1256u);
  const char* const build = "- Time to build one packet and send(msec): ( 0.000000 )\n";
  EXPECT_EQ(console.text(),
            std::string("Overall send time is: 980.000000\n") + build +
                "- Current Time: 001:00:00:00.980\n"
                "Overall send time is: 1000.000000\n" +
                build +
                "- Current Time: 001:00:00:01.980\n"
                "- Behind schedule: 1 of 50 packets late, max 31.000 ms late, 50.000 ms "
                "blocked in send\n"
                "Overall send time is: 1000.000000\n" +
                build +
                "- Current Time: 001:00:00:02.980\n"
                "- YEB terminated the connection - go to 'wait for connect' state...\n\n"
                "- The transfer was ended by a key press, not by the YEB\n\n");

  file.reset();
  std::istringstream lines(testsupport::ReadWholeFile(dir.file("stats.jsonl")));
  using Fields = std::map<std::string, std::string>;
  std::vector<Fields> events;
  for (std::string line; std::getline(lines, line);) {
    const auto members = drivertest::ParseFlatJson(line);
    ASSERT_FALSE(members.empty()) << line;
    events.emplace_back(members.begin(), members.end());
    if (events.back()["event"] != "cycle") continue;
    std::string keys;
    for (const auto& member : members) keys += member.first + " ";
    EXPECT_EQ(
        keys,
        "event wall run_id t connection cycle data_time packets bytes cycle_ms rate late_packets "
        "late_max_ms lateness_p99_ms send_blocked_ms schedule_restarts ");
  }
  ASSERT_EQ(events.size(), 5u);
  // Every member given is in the event with this value.
  auto has = [](Fields& event, const Fields& wanted) {
    for (const auto& [key, value] : wanted) {
      if (event[key] != value) return ::testing::AssertionFailure() << key << ": " << event[key];
    }
    return ::testing::AssertionSuccess();
  };
  const Fields everyEvent = {{"wall", "2026-12-09T10:15:02.123Z"}, {"connection", "3"}};
  for (Fields& event : events) EXPECT_TRUE(has(event, everyEvent));
  EXPECT_EQ(events[0]["event"], "connect");
  // The first cycle is one packet short but still held to a second.
  EXPECT_TRUE(has(events[1], {{"cycle", "1"},
                              {"packets", "49"},
                              {"cycle_ms", "1000.0"},
                              {"rate", "49.0"},
                              {"late_packets", "0"}}));
  EXPECT_TRUE(has(events[2], {{"t", "2.0"},
                              {"cycle", "2"},
                              {"data_time", "001:00:00:01.980"},
                              {"packets", "50"},
                              {"bytes", "62800"},
                              {"cycle_ms", "1000.0"},
                              {"rate", "50.0"},
                              {"late_packets", "1"},
                              {"late_max_ms", "31.0"},
                              {"lateness_p99_ms", "31.0"},
                              {"send_blocked_ms", "50.0"},
                              {"schedule_restarts", "0"}}));
  EXPECT_TRUE(has(events[3], {{"late_max_ms", "0.0"}, {"schedule_restarts", "0"}}));
  EXPECT_TRUE(has(events[4],
                  {{"event", "end"}, {"packets", "151"}, {"bytes", "189656"}, {"reason", "key"}}));
}

TEST_F(TransferTest, AStallOfMoreThanASecondStartsTheScheduleAgainFromNow) {
  Load("2,50\n");
  // The send of packet 60 takes 1.5 s: catching up would mean a burst of 75
  // packets, so the pacing gives up its schedule and the data time falls
  // behind the wall clock by the stall.
  bool stalled = false;
  clock.afterRead = [&]() -> int64_t {
    if (stalled || driver::Packets().packetHeader[1] != 60) return 0;
    stalled = true;
    return 1'500'000'000;
  };
  // 49 + 50 + 50 + 3 packets: 75 fewer than were due by then.
  std::vector<uint8_t> bytes = RunOneTransfer(4540);
  EXPECT_EQ(bytes.size(), 152u * 1256u);
  const std::vector<std::string> behind = LinesStartingWith("- Behind schedule");
  ASSERT_EQ(behind.size(), 1u);
  EXPECT_EQ(behind[0],
            "- Behind schedule: 39 of 50 packets late, max 1481.000 ms late, 1500.000 ms blocked "
            "in send");
  EXPECT_EQ(LinesStartingWith("Overall send time is: ")[1], "Overall send time is: 2480.000000");
}

TEST_F(TransferTest, SequenceAndValuesCarryAcrossTransfersWhileDataTimeRestarts) {
  Load("1,50\n");
  std::vector<uint8_t> first = RunOneTransfer(50);
  ASSERT_EQ(first.size(), 3u * 1250u);
  std::vector<uint8_t> second = RunOneTransfer(30);
  ASSERT_EQ(second.size(), 2u * 1250u);
  EXPECT_EQ(U32At(second, 4), 4u);   // sequence number
  EXPECT_EQ(U32At(second, 48), 0u);  // data time starts again
  EXPECT_EQ(driver::Packets().packetCounter, 6);
  // One 50/s parameter: it is the pending half that is never sent, but
  // its value went on to 5 over the five packets.
  EXPECT_EQ(driver::Parms().records[0].value, 5.0f);
}

TEST_F(TransferTest, TimeJumpAddsFifteenSecondsEveryTenthCycleAndCarriesOver) {
  driver::Settings().timeJumpFlag = 1;
  Load("");
  RunOneTransfer(10990);  // eleven cycle ends
  std::vector<std::string> times = LinesStartingWith("- Current Time: ");
  ASSERT_EQ(times.size(), 11u);
  EXPECT_EQ(times[9], "- Current Time: 001:00:00:09.980");
  EXPECT_EQ(times[10], "- Current Time: 001:00:00:25.980");
  EXPECT_EQ(driver::Streams().jumpToggle, 1);

  std::vector<uint8_t> next = RunOneTransfer(0.001);
  EXPECT_EQ(U32At(next, 48), 150000u);  // the new transfer starts at 15 s
}

TEST_F(TransferTest, TimeGapDoublesTheDataTimeAfterAFiveInAField) {
  driver::Settings().timeGapFlag = 1;
  Load("");
  RunOneTransfer(302990);
  std::vector<std::string> times = LinesStartingWith("- Current Time: ");
  ASSERT_EQ(times.size(), 303u);
  EXPECT_EQ(times[300], "- Current Time: 001:00:05:00.980");
  EXPECT_EQ(times[301], "- Current Time: 001:00:10:02.960");
  const uint32_t lastTick = driver::Packets().timeTick;
  std::vector<uint8_t> next = RunOneTransfer(0.001);
  EXPECT_EQ(U32At(next, 48), 2 * lastTick);
}

TEST_F(TransferTest, TimeGapDoublingWrapsModulo2To32) {
  driver::Settings().timeGapFlag = 1;
  Load("");
  // The transfer starts at twice this: day 5 of data time, whose "5:" asks
  // for a doubling that passes 2^32.
  driver::Packets().timeTick = 1'728'000'000;
  RunOneTransfer(1990);
  std::vector<std::string> times = LinesStartingWith("- Current Time: ");
  ASSERT_EQ(times.size(), 2u);
  EXPECT_EQ(times[0], "- Current Time: 005:00:00:00.980");
  // 2 x 3,456,009,800 - 2^32 = 2,617,052,304 ticks, then one more second.
  EXPECT_EQ(times[1], "- Current Time: 004:00:41:46.230");
}

TEST_F(TransferTest, NepTransfersSendTheirOwnLengthAndShowTheNepTime) {
  driver::Settings().sourceType = packet::kSourceNep;
  Load("1,10\n");
  std::vector<uint8_t> bytes = RunOneTransfer(1010);
  // Packets 1 and 6, 11, ... carry the slow parameter.
  size_t at = 0;
  std::vector<uint32_t> lengths;
  while (at + 4 <= bytes.size()) {
    lengths.push_back(U32At(bytes, at) + 4);
    at += lengths.back();
  }
  ASSERT_EQ(lengths.size(), 50u);
  EXPECT_EQ(lengths[0], 2412u);
  EXPECT_EQ(lengths[1], 2404u);
  EXPECT_EQ(lengths[5], 2412u);
  EXPECT_EQ(FloatAt(bytes, 2408), 0.0f);
  const std::string text = console.text();
  EXPECT_NE(text.find("total size all packets = "), std::string::npos) << text;
  EXPECT_NE(text.find("- Current Time: 000:00:00:00.980\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("- Time to build"), std::string::npos);
}

TEST_F(TransferTest, AYebThatStopsReadingCannotHoldTheTransferForEver) {
  Load("20000,1000\n");  // 2.4 MB packets
  std::string reason;
  platform::TcpStream client = platform::ConnectTcp("127.0.0.1", port, 2000, reason);
  ASSERT_TRUE(client.IsOpen());
  std::unique_ptr<net::utServerSocket> connection = listener->Accept();
  ASSERT_TRUE(connection);
  // The client never reads; the fake clock stands still while a send waits,
  // so only a send that keeps asking sees this key.
  drivertest::WallClockKeys wallKeys(300);
  driver::RunEnvironment env{console, wallKeys, clock};
  driver::RunTransfer(*connection, buffer, env);
  EXPECT_EQ(wallKeys.reads, 1);
  EXPECT_NE(console.text().find("- YEB terminated the connection"), std::string::npos);
}

}  // namespace
