// yebverify against the real stress tool: every source, packet rate and
// option the checker knows must come through with zero failures.
#include <gtest/gtest.h>

#include <chrono>

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

}  // namespace
