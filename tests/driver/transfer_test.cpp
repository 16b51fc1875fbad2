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
    StartOver();
    port = static_cast<uint16_t>(testsupport::FreeLoopbackPort());
    listener = std::make_unique<net::utServerSocket>(port, 1, console);
    ASSERT_TRUE(listener->IsValid());
  }
  void TearDown() override { StartOver(); }

  // The state of a fresh run, for the next case of a table.
  void StartOver() {
    driver::ResetRunSettings();
    driver::ResetParmTable();
    driver::ResetPacketState();
    driver::ResetStreamState();
    console.clear();
    clock.afterRead = nullptr;
    stats = {};
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

// A send that stalls (the 60th packet's, the eleventh of the second cycle)
// shows in the cycle's overall time, its "- Behind schedule" line and its
// statistics event.
//
// A 50 ms stall: the twelfth packet then goes out 31 ms after its due time
// (1 ms after the slow send), the thirteenth right after it 11 ms late, and
// from the fourteenth the stream is on schedule again: the cycle ends on
// time and the packet the hold-up cost is not lost.
//
// A 1.5 s stall: catching up would mean a burst of 75 packets, so the
// pacing gives up its schedule and the data time falls behind the wall
// clock by the stall; 75 fewer packets go out than were due by then.
TEST_F(TransferTest, AStalledSendShowsInTheOverallTimeTheBehindLineAndTheStatsFile) {
  using Fields = std::map<std::string, std::string>;
  struct Case {
    int64_t stallNs;
    double keyAfterMs;
    size_t packets;  // 49 + 50 + 50 + the last cycle's
    const char* secondOverall;
    const char* behind;
    Fields secondCycle;  // the stalled cycle's event
  };
  const Case cases[] = {
      {50'000'000,
       3040,
       151,
       "1000.000000",
       "- Behind schedule: 1 of 50 packets late, max 31.000 ms late, 50.000 ms blocked in send\n",
       {{"t", "2.0"},
        {"cycle_ms", "1000.0"},
        {"rate", "50.0"},
        {"late_packets", "1"},
        {"late_max_ms", "31.0"},
        {"lateness_p99_ms", "31.0"},
        {"send_blocked_ms", "50.0"},
        {"schedule_restarts", "0"}}},
      {1'500'000'000,
       4540,
       152,
       "2480.000000",
       "- Behind schedule: 39 of 50 packets late, max 1481.000 ms late, 1500.000 ms blocked "
       "in send\n",
       {{"t", "3.48"},
        {"cycle_ms", "2480.0"},
        {"rate", "20.161"},
        {"late_packets", "39"},
        {"late_max_ms", "1481.0"},
        {"send_blocked_ms", "1500.0"},
        {"schedule_restarts", "1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stallNs);
    StartOver();
    Load("2,50\n");
    testsupport::TempDir dir;
    std::unique_ptr<driver::StatsFile> file;
    const platform::Status opened = driver::StatsFile::Open(
        dir.file("stats.jsonl"), console, file, [] { return int64_t{1'796'811'302'123}; });
    ASSERT_TRUE(opened.ok()) << opened.message();
    stats = {file.get(), 3};
    bool stalled = false;
    clock.afterRead = [&]() -> int64_t {
      if (stalled || driver::Packets().packetHeader[1] != 60) return 0;
      stalled = true;
      return c.stallNs;
    };
    std::vector<uint8_t> bytes = RunOneTransfer(c.keyAfterMs);
    ASSERT_EQ(bytes.size(), c.packets * 1256u);
    const char* const build = "- Time to build one packet and send(msec): ( 0.000000 )\n";
    EXPECT_EQ(console.text(), std::string("Overall send time is: 980.000000\n") + build +
                                  "- Current Time: 001:00:00:00.980\n"
                                  "Overall send time is: " +
                                  c.secondOverall + "\n" + build +
                                  "- Current Time: 001:00:00:01.980\n" + c.behind +
                                  "Overall send time is: 1000.000000\n" + build +
                                  "- Current Time: 001:00:00:02.980\n"
                                  "- YEB terminated the connection - go to 'wait for connect' "
                                  "state...\n\n"
                                  "- The transfer was ended by a key press, not by the YEB\n\n");

    file.reset();
    std::istringstream lines(testsupport::ReadWholeFile(dir.file("stats.jsonl")));
    std::vector<Fields> events;
    for (std::string line; std::getline(lines, line);) {
      const auto members = drivertest::ParseFlatJson(line);
      ASSERT_FALSE(members.empty()) << line;
      events.emplace_back(members.begin(), members.end());
      if (events.back()["event"] != "cycle") continue;
      std::string keys;
      for (const auto& member : members) keys += member.first + " ";
      EXPECT_EQ(keys,
                "event wall run_id t connection cycle data_time packets bytes cycle_ms rate "
                "late_packets late_max_ms lateness_p99_ms send_blocked_ms schedule_restarts ");
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
    EXPECT_TRUE(has(events[2], {{"cycle", "2"},
                                {"data_time", "001:00:00:01.980"},
                                {"packets", "50"},
                                {"bytes", "62800"}}));
    EXPECT_TRUE(has(events[2], c.secondCycle));
    EXPECT_TRUE(has(events[3], {{"late_max_ms", "0.0"}, {"schedule_restarts", "0"}}));
    EXPECT_TRUE(has(events[4], {{"event", "end"},
                                {"packets", std::to_string(c.packets)},
                                {"bytes", std::to_string(c.packets * 1256)},
                                {"reason", "key"}}));
  }
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

// The time flags over a transfer and into the next one. /TimeJump adds 15 s
// every tenth cycle, and the next transfer starts at 15 s. /TimeGap doubles
// the data time after a cycle whose time text has a five in a field
// (modulo 2^32), and the next transfer starts at twice where this one ended.
TEST_F(TransferTest, TimeFlagsMoveTheDataTimeAndCarryIntoTheNextTransfer) {
  struct Case {
    bool jump, gap;
    uint32_t carriedTick;  // left by an earlier transfer
    double keyAfterMs;
    size_t cycles;
    size_t at;  // the cycle before the change, from 0
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      {true, false, 0, 10990, 11, 9, "001:00:00:09.980", "001:00:00:25.980"},
      {false, true, 0, 302990, 303, 300, "001:00:05:00.980", "001:00:10:02.960"},
      // The transfer starts at twice the carried tick: day 5 of data time,
      // whose "5:" asks for a doubling that passes 2^32. 2 x 3,456,009,800
      // - 2^32 = 2,617,052,304 ticks, then one more second.
      {false, true, 1'728'000'000, 1990, 2, 0, "005:00:00:00.980", "004:00:41:46.230"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.carriedTick);
    SCOPED_TRACE(c.jump ? "jump" : "gap");
    StartOver();
    driver::Settings().timeJumpFlag = c.jump ? 1 : 0;
    driver::Settings().timeGapFlag = c.gap ? 1 : 0;
    Load("");
    driver::Packets().timeTick = c.carriedTick;
    RunOneTransfer(c.keyAfterMs);
    std::vector<std::string> times = LinesStartingWith("- Current Time: ");
    ASSERT_EQ(times.size(), c.cycles);
    EXPECT_EQ(times[c.at], std::string("- Current Time: ") + c.before);
    EXPECT_EQ(times[c.at + 1], std::string("- Current Time: ") + c.after);
    EXPECT_EQ(driver::Streams().jumpToggle, c.jump ? 1 : 0);

    const uint32_t lastTick = driver::Packets().timeTick;
    std::vector<uint8_t> next = RunOneTransfer(0.001);
    EXPECT_EQ(U32At(next, 48), c.jump ? 150000u : 2u * lastTick);
  }
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
