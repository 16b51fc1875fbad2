// yebverify against the real stress tool: every source, packet rate and
// option the checker knows must come through with zero failures.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;

// Fast and slow parameters, a rate equal to each packet rate, fractional rates.
const char* const kParameters =
    "// mixed parameter set\n"
    "10,50\n5,100\n4,200\n4,1000\n2,10000\n3,12.5\n2,1\n1,30\n";

struct StressRun {
  bool nep;
  int packetRate;
  bool superStress;
  int tagOffset;
};

class StressToolTest : public ::testing::Test {
 protected:
  // Starts the tool in a fresh folder; false when it does not get to listening.
  bool StartTool(const StressRun& run, std::vector<std::string> extra = {}) {
    testsupport::WriteWholeFile(dir_.file("parmInfo.txt"), kParameters);
    port_ = testsupport::FreeLoopbackPort();
    std::vector<std::string> args = {"/PortId", std::to_string(port_), "/PacketRate",
                                     std::to_string(1000 / run.packetRate)};
    if (run.nep) args.insert(args.end(), {"/SourceType", "NEP"});
    if (run.superStress) args.push_back("/SuperStress");
    if (run.tagOffset != 0) args.insert(args.end(), {"/TagOffset", std::to_string(run.tagOffset)});
    args.insert(args.end(), extra.begin(), extra.end());
    tool_ = std::make_unique<ChildProcess>(YEBSTRESS_PATH, args, dir_.path());
    return tool_->waitForOutput("Blocked waiting for connect", 15s);
  }

  // Runs yebverify against the tool and returns its exit status.
  int Verify(const StressRun& run, std::vector<std::string> extra) {
    std::vector<std::string> args = {"--port",        std::to_string(port_),
                                     "--packet-rate", std::to_string(run.packetRate),
                                     "--tag-offset",  std::to_string(run.tagOffset),
                                     "--quiet"};
    if (run.nep) args.insert(args.end(), {"--source", "nep"});
    if (run.superStress) args.push_back("--super-stress");
    args.insert(args.end(), extra.begin(), extra.end());
    ChildProcess verifier(YEBVERIFY_PATH, args, dir_.path());
    int status = verifier.waitForExit(60s);
    output_ = verifier.output();
    return status;
  }

  testsupport::TempDir dir_;
  int port_ = 0;
  std::unique_ptr<ChildProcess> tool_;
  std::string output_;
};

TEST_F(StressToolTest, EverySourceRateAndOptionChecksClean) {
  for (bool nep : {false, true}) {
    for (int rate : {50, 100, 200}) {
      for (bool variant : {false, true}) {
        // The variant adds super stress and a tag offset; for Custom the
        // offset makes the 16-bit tags wrap through 0.
        StressRun run{nep, rate, variant, variant ? (nep ? 1000 : 65520) : 0};
        SCOPED_TRACE(testing::Message()
                     << (nep ? "NEP" : "Custom") << " " << rate << "/s variant " << variant);
        ASSERT_TRUE(StartTool(run)) << tool_->output();
        EXPECT_EQ(Verify(run, {"--packets", std::to_string(rate + rate / 2)}), 0) << output_;
        EXPECT_NE(output_.find("no failures"), std::string::npos) << output_;
        tool_.reset();
      }
    }
  }
}

TEST_F(StressToolTest, NumbersAndValuesCarryAcrossReconnects) {
  for (bool nep : {false, true}) {
    StressRun run{nep, 200, false, 0};
    ASSERT_TRUE(StartTool(run)) << tool_->output();
    EXPECT_EQ(Verify(run, {"--packets", "120", "--reconnect", "2"}), 0) << output_;
    EXPECT_NE(output_.find("connections: 3"), std::string::npos) << output_;
    tool_.reset();
  }
}

TEST_F(StressToolTest, TimeJumpEveryTenCyclesChecksClean) {
  StressRun run{false, 200, false, 0};
  ASSERT_TRUE(StartTool(run, {"/TimeJump"})) << tool_->output();
  EXPECT_EQ(Verify(run, {"--seconds", "11.5", "--time-jump"}), 0) << output_;
}

TEST_F(StressToolTest, AVerifierWithoutTheJumpOptionSeesTheJump) {
  // The same stream checked as if the tool ran without /TimeJump: the jump
  // must be found, so the clean run above proves something.
  StressRun run{false, 200, false, 0};
  ASSERT_TRUE(StartTool(run, {"/TimeJump"})) << tool_->output();
  EXPECT_EQ(Verify(run, {"--seconds", "11.5"}), 1) << output_;
  EXPECT_NE(output_.find("FAILED: 1 failed checks (time-jump 1)"), std::string::npos) << output_;
}

TEST_F(StressToolTest, TimeGapDoublesTheTimeAtEachNewTransfer) {
  StressRun run{false, 200, false, 0};
  ASSERT_TRUE(StartTool(run, {"/TimeGap"})) << tool_->output();
  EXPECT_EQ(Verify(run, {"--packets", "150", "--reconnect", "2", "--time-gap"}), 0) << output_;
  // Checked as a plain stream, the restarts at twice the time are wrong.
  EXPECT_EQ(Verify(run, {"--packets", "150", "--reconnect", "1"}), 1) << output_;
  EXPECT_NE(output_.find("FAILED: 2 failed checks (time 2)"), std::string::npos) << output_;
}

// Every pattern on both sources, across a reconnect: the verifier checks
// each signal sample against the same file, and what it received of every
// parameter is, connection by connection, the start of what the tool says
// it sent (the tool sends a few packets more before it sees the close).
TEST_F(StressToolTest, SignalsCheckCleanAndTheValueLogMatchesWhatArrived) {
  const char* const kSignals =
      "# every pattern\n"
      "* sine amplitude=2 period=0.5 phase=10\n"
      "rate=100 square low=-1 high=10 period=0.2 duty=0.3\n"
      "rate=1000 triangle min=-3 max=3 period=0.13  # not a whole period\n"
      "rate=12.5 sawtooth period=4\n"
      "#20-23 steps values=1,2.5,-3 hold=0.02\n"
      "#24 random min=-1e6 max=1e6 seed=9\n"
      "#25-26 special\n"
      "#27 constant value=42\n"
      "#28 counter\n";
  auto linesByConnection = [](const std::string& text) {
    std::map<std::string, std::vector<std::string>> lines;
    size_t at = text.find('\n') + 1;  // after the header
    while (at < text.size()) {
      const size_t end = text.find('\n', at);
      const std::string line = text.substr(at, end - at);
      const size_t run = line.find(','), connection = line.find(',', run + 1);
      lines[line.substr(run + 1, connection - run - 1)].push_back(line.substr(connection + 1));
      at = end + 1;
    }
    return lines;
  };
  for (bool nep : {false, true}) {
    SCOPED_TRACE(nep ? "NEP" : "Custom");
    testsupport::WriteWholeFile(dir_.file("signals.txt"), kSignals);
    std::remove(dir_.file("sent.csv").c_str());
    StressRun run{nep, 200, nep, 0};
    ASSERT_TRUE(StartTool(
        run, {"/Signals", "signals.txt", "/ValueLog", "sent.csv", "/ValueLogParams", "*"}))
        << tool_->output();
    EXPECT_EQ(Verify(run, {"--packets", "250", "--reconnect", "1", "--signals", "signals.txt",
                           "--values-out", "received.csv", "--params", "*"}),
              0)
        << output_;
    // Both transfers are over, and logged, once the tool says so twice.
    const std::string ended = "YEB terminated the connection";
    for (int i = 0; i < 150; ++i) {
      const std::string& out = tool_->output();
      const size_t first = out.find(ended);
      if (first != std::string::npos && out.find(ended, first + 1) != std::string::npos) break;
      tool_->waitForOutput("\x01", 100ms);
    }
    const auto sent = linesByConnection(testsupport::ReadWholeFile(dir_.file("sent.csv")));
    const auto received = linesByConnection(testsupport::ReadWholeFile(dir_.file("received.csv")));
    ASSERT_EQ(received.size(), 2u);
    for (const auto& [connection, lines] : received) {
      SCOPED_TRACE("connection " + connection);
      ASSERT_GE(lines.size(), 250u * 10);
      ASSERT_GE(sent.at(connection).size(), lines.size());
      for (size_t i = 0; i < lines.size(); ++i) ASSERT_EQ(sent.at(connection)[i], lines[i]) << i;
    }
    // The same stream against other rules fails: the clean run proves something.
    testsupport::WriteWholeFile(dir_.file("other.txt"), "#24 random seed=10\n");
    EXPECT_EQ(Verify(run, {"--packets", "20", "--signals", "other.txt"}), 1) << output_;
    EXPECT_NE(output_.find("value"), std::string::npos) << output_;
    tool_.reset();
  }
}

}  // namespace
