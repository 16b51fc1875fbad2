// The real stress tool with a fault script of every action against the real
// verifier: told the script, it must see exactly those faults where they
// were due; not told, it must name each one under its own kind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;

// Every action but the one that ends the transfer, which the test adds: a
// transfer ends at a truncation or at a disconnect, never at both.
constexpr char kScript[] =
    "# what a poor source and network do, second by second\n"
    "0.3 drop 3\n"
    "0.6 duplicate 2\n"
    "0.9 corrupt\n"
    "1.2 stall 100\n"
    "1.5 timejump 30\n";

class FaultTimelineTest : public ::testing::Test {
 protected:
  bool StartTool(const std::string& lastLine) {
    testsupport::WriteWholeFile(dir_.file("parmInfo.txt"), "10,50\n5,100\n2,10000\n3,12.5\n");
    testsupport::WriteWholeFile(dir_.file("faults.txt"), kScript + lastLine);
    port_ = testsupport::FreeLoopbackPort();
    tool_ = std::make_unique<ChildProcess>(
        YEBSTRESS_PATH,
        std::vector<std::string>{"/PortId", std::to_string(port_), "/FaultScript", "faults.txt",
                                 "/StatsFile", "stats.jsonl"},
        dir_.path());
    return tool_->waitForOutput("Blocked waiting for connect", 15s);
  }

  // Two transfers, so that the script is seen to start again.
  int Verify(bool expectFaults) {
    std::vector<std::string> args = {
        "--port", std::to_string(port_), "--reconnect", "1", "--seconds", "10", "--quiet"};
    if (expectFaults) args.insert(args.end(), {"--expect-faults", "faults.txt"});
    ChildProcess verifier(YEBVERIFY_PATH, args, dir_.path());
    const int status = verifier.waitForExit(60s);
    output_ = verifier.output();
    return status;
  }

  testsupport::TempDir dir_;
  int port_ = 0;
  std::unique_ptr<ChildProcess> tool_;
  std::string output_;
};

TEST_F(FaultTimelineTest, EveryActionIsSeenWhereTheScriptPutsIt) {
  const struct {
    const char* last;
    const char* counts;  // each fault of the two transfers under its kind
  } runs[] = {
      {"2 truncate 600\n", "12 failed checks (truncated 2, dropped 4, duplicated 2, corrupted 2"},
      {"2 disconnect\n", "12 failed checks (dropped 4, duplicated 2, corrupted 2, disconnected 2"},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.last);
    ASSERT_TRUE(StartTool(run.last)) << tool_->output();
    EXPECT_EQ(Verify(true), 0) << output_;
    EXPECT_NE(output_.find("no failures, 12 faults as expected"), std::string::npos) << output_;
    EXPECT_NE(output_.find("dropped at packet 16: line 2 (0.3 drop 3)"), std::string::npos)
        << output_;
    // Six faults a transfer; without the script each is a failure of its
    // kind.
    EXPECT_EQ(Verify(false), 1) << output_;
    EXPECT_NE(output_.find(std::string(run.counts) + ", time-jump 2)"), std::string::npos)
        << output_;
    // The tool printed each event as it made it.
    EXPECT_NE(tool_->output().find("- Fault at 0.300 s (data 001:00:00:00.300): 0.3 drop 3\n"),
              std::string::npos)
        << tool_->output();
    const std::string stats = testsupport::ReadWholeFile(dir_.file("stats.jsonl"));
    EXPECT_NE(stats.find("{\"event\":\"fault\","), std::string::npos) << stats;
    EXPECT_NE(stats.find("\"data_time\":\"001:00:00:00.300\",\"line\":2,\"fault\":\"0.3 drop 3\"}"),
              std::string::npos)
        << stats;
    tool_.reset();
    std::remove(dir_.file("stats.jsonl").c_str());
  }
}

TEST_F(FaultTimelineTest, AScriptLineThatCannotBeReadStopsTheTool) {
  testsupport::WriteWholeFile(dir_.file("faults.txt"), "1 drop 2\n\n3 explode\n");
  testsupport::WriteWholeFile(dir_.file("parmInfo.txt"), "1,50\n");
  ChildProcess tool(YEBSTRESS_PATH, {"/FaultScript", "faults.txt"}, dir_.path());
  tool.closeInput();
  EXPECT_EQ(tool.waitForExit(15s), 1);
  EXPECT_NE(tool.output().find("** Error - Fault script faults.txt: line 3: unknown action "
                               "'explode'"),
            std::string::npos)
      << tool.output();
  EXPECT_EQ(tool.output().find("4. Wait for YEB connect"), std::string::npos);
}

}  // namespace
