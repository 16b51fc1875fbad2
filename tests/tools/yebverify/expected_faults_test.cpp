// Where the matcher expects each event, against a packet-by-packet replay of
// the tool's schedule, and what it accepts there.
#include <gtest/gtest.h>

#include <random>

#include "ExpectedFaults.h"

namespace yebverify {
namespace {

// The tool's rule, one packet at a time: a cycle ends after packet g when
// g mod N == N - 1, the next cycle starts one second after the last.
uint64_t ReplayPacketAt(uint64_t firstPacket, int64_t atNs, int rate) {
  const int64_t period = 1'000'000'000 / rate;
  int64_t cycleStart = 0, due = 0;
  for (uint64_t g = firstPacket;; ++g) {
    if (due >= atNs) return g;
    if (g % static_cast<uint64_t>(rate) == static_cast<uint64_t>(rate - 1)) {
      cycleStart += 1'000'000'000;
      due = cycleStart;
    } else {
      due += period;
    }
  }
}

TEST(ExpectedFaultsTest, EventPacketsFollowTheToolsSchedule) {
  std::mt19937_64 random(15);
  for (int i = 0; i < 3000; ++i) {
    const int rates[] = {50, 100, 200};
    const int rate = rates[random() % 3];
    const uint64_t first = 1 + random() % 1000;
    const int64_t atNs = static_cast<int64_t>(random() % 5'000'000'000ull);
    ASSERT_EQ(ExpectedFaults::PacketAt(first, atNs, rate), ReplayPacketAt(first, atNs, rate))
        << rate << "/s from packet " << first << " at " << atNs << " ns";
  }
}

TEST(ExpectedFaultsTest, AcceptsEachFaultOnceWithinOnePacketAndSize) {
  io::FaultScript script;
  ASSERT_TRUE(
      io::ParseFaultScript("0.3 drop 3\n0.3 corrupt\n1.2 stall 100\n1.5 timejump -2\n", &script)
          .ok());
  ExpectedFaults expected(script, 50, 100000);
  expected.BeginTransfer(1);
  // The drop takes packets 16 to 18; the corruption waits for packet 19.
  EXPECT_FALSE(expected.Accept(FailureKind::kDropped, 16, 2));    // wrong size
  EXPECT_FALSE(expected.Accept(FailureKind::kCorrupted, 16, 0));  // withheld there
  EXPECT_TRUE(expected.Accept(FailureKind::kDropped, 17, 3));
  EXPECT_FALSE(expected.Accept(FailureKind::kDropped, 16, 3));  // used up
  EXPECT_TRUE(expected.Accept(FailureKind::kCorrupted, 19, 0));
  // 1.2 s is packet 60; 100 ms withholds five packets.
  EXPECT_TRUE(expected.Accept(FailureKind::kDropped, 60, 5));
  EXPECT_FALSE(expected.Accept(FailureKind::kTimeJump, 75, 20000));  // the wrong way
  const std::vector<std::string> missing = expected.EndTransfer(200);
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(missing[0], "line 4 (1.5 timejump -2): expected at packet 75, size -20000, not seen");
  EXPECT_EQ(expected.matched().size(), 3u);
}

}  // namespace
}  // namespace yebverify
