// yebverify --source playback against the real stress tool replaying a
// small recording: every record must come through byte for byte, in the
// order of the passes and from the start point, with the pace of the
// stamps.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;

std::string Word(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

// Records of 32 to 91 bytes, stamped as given, each body its own.
std::string Recording(const std::vector<int32_t>& stamps) {
  std::string file;
  for (size_t i = 0; i < stamps.size(); ++i) {
    const uint32_t size = 32 + static_cast<uint32_t>(i * 13 % 60);
    file += Word(size - 4);
    for (uint32_t w = 1; w < 8; ++w) file += Word(w == 6 ? static_cast<uint32_t>(stamps[i]) : w);
    for (uint32_t b = 32; b < size; ++b) file += static_cast<char>(i * 31 + b);
  }
  return file;
}

std::vector<int32_t> Steps(int count, int32_t step) {
  std::vector<int32_t> stamps;
  for (int i = 0; i < count; ++i) stamps.push_back(1000 + i * step);
  return stamps;
}

// The lateness every run here is held to. Under wine and the sanitizers the
// figures are the emulator's timers and the instrumentation's, not the
// tool's: there only what the tests are about (records lost, passes, the
// reference) is held, with room for a slow machine.
#if defined(_WIN32) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr char kMaxLateMs[] = "2000";
#else
constexpr char kMaxLateMs[] = "50";
#endif

class PlaybackSourceTest : public ::testing::Test {
 protected:
  void StartTool(const std::vector<int32_t>& stamps, std::vector<std::string> extra) {
    testsupport::WriteWholeFile(dir_.file("rec.dat"), Recording(stamps));
    port_ = testsupport::FreeLoopbackPort();
    std::vector<std::string> args = {"/Playback", "KestCustom", "rec.dat", "/PortId",
                                     std::to_string(port_)};
    args.insert(args.end(), extra.begin(), extra.end());
    tool_ = std::make_unique<ChildProcess>(YEBSTRESS_PATH, args, dir_.path());
    ASSERT_TRUE(tool_->waitForOutput("Blocked waiting for connect", 15s)) << tool_->output();
  }

  std::unique_ptr<ChildProcess> StartVerifier(std::vector<std::string> extra) {
    std::vector<std::string> args = {"--source",      "playback", "--file",
                                     "rec.dat",       "--port",   std::to_string(port_),
                                     "--max-late-ms", kMaxLateMs};
    args.insert(args.end(), extra.begin(), extra.end());
    return std::make_unique<ChildProcess>(YEBVERIFY_PATH, args, dir_.path());
  }

  // Runs the verifier to its end; its status, with its output in output_.
  int Verify(std::vector<std::string> extra) {
    std::unique_ptr<ChildProcess> verifier = StartVerifier(std::move(extra));
    const int status = verifier->waitForExit(60s);
    output_ = verifier->output();
    return status;
  }

  void ToolEnds() {
    ASSERT_TRUE(tool_->waitForOutput("Hit any key to exit...\n", 10s)) << tool_->output();
    tool_->closeInput();
    EXPECT_EQ(tool_->waitForExit(10s), 0) << tool_->output();
  }

  double Drift() const {
    const size_t at = output_.find("drift ");
    return at == std::string::npos ? 1e9 : std::strtod(output_.c_str() + at + 6, nullptr);
  }

  testsupport::TempDir dir_;
  int port_ = 0;
  std::unique_ptr<ChildProcess> tool_;
  std::string output_;
};

TEST_F(PlaybackSourceTest, ThreePassesRunThePaceOnAcrossTheirBoundaries) {
#ifdef _WIN32
  GTEST_SKIP() << "its pace figures are the emulator's timers under wine, not the tool's";
#endif
  StartTool(Steps(30, 50), {"/PlaybackLoop", "3"});
  EXPECT_EQ(Verify({"--playback-loop", "3"}), 0) << output_;
  // The first pass less its reference, then two whole passes.
  EXPECT_NE(output_.find("yebverify: 89 records checked over 1 connection, up to pass 3;"),
            std::string::npos)
      << output_;
  EXPECT_LT(std::fabs(Drift()), 5.0) << output_;
  ToolEnds();
  EXPECT_NE(tool_->output().find("- Pass 3 of 3\nFile is Complete"), std::string::npos)
      << tool_->output();
}

TEST_F(PlaybackSourceTest, AStartPointSkipsTheRecordsBeforeIt) {
  // 10 ms apart: 0.2 s in is record 21, the reference.
  StartTool(Steps(40, 100), {"/PlaybackStart", "0.2"});
  EXPECT_EQ(Verify({"--playback-start", "0.2"}), 0) << output_;
  EXPECT_NE(output_.find("yebverify: 19 records checked"), std::string::npos) << output_;
  ToolEnds();
}

TEST_F(PlaybackSourceTest, AGapAboveTheLimitIsCutToIt) {
#ifdef _WIN32
  GTEST_SKIP() << "its pace figures are the emulator's timers under wine, not the tool's";
#endif
  std::vector<int32_t> stamps = Steps(10, 100);
  for (int i = 0; i < 10; ++i) stamps.push_back(stamps[9] + 20'000 + i * 100);  // 2 s later
  StartTool(stamps, {"/PlaybackMaxGap", "50"});
  EXPECT_EQ(Verify({"--playback-max-gap", "50"}), 0) << output_;
  // Waited for 2 s, the replay would run 1.95 s behind the verifier's model.
  EXPECT_LT(std::fabs(Drift()), 10.0) << output_;
  ToolEnds();
  EXPECT_NE(tool_->output().find("Excessive Header Time Jump: 2000\n"), std::string::npos)
      << tool_->output();
}

TEST_F(PlaybackSourceTest, AReconnectLosesNothingButTheReference) {
  StartTool(Steps(100, 100), {});  // 1 s
  std::unique_ptr<ChildProcess> verifier = StartVerifier({"--reconnect", "1"});
  std::this_thread::sleep_for(400ms);
  ASSERT_TRUE(tool_->writeInput("k"));
  EXPECT_EQ(verifier->waitForExit(60s), 0) << verifier->output();
  output_ = verifier->output();
  // 100 records, two of them references.
  EXPECT_NE(output_.find("yebverify: 98 records checked over 2 connections, up to pass 1; 2 "
                         "taken as references, 0 lost"),
            std::string::npos)
      << output_ << tool_->output();
  ToolEnds();
}

TEST_F(PlaybackSourceTest, PlaybackInfoSummarisesTheFileWithoutListening) {
  testsupport::WriteWholeFile(dir_.file("rec.dat"), Recording(Steps(4, 100)));
  ChildProcess tool(YEBSTRESS_PATH, {"/Playback", "KestCustom", "rec.dat", "/PlaybackInfo"},
                    dir_.path());
  EXPECT_EQ(tool.waitForExit(10s), 0);
  EXPECT_NE(tool.output().find("- Records: 4, 32 to 71 bytes\n"), std::string::npos)
      << tool.output();
  EXPECT_EQ(tool.output().find("Blocked waiting"), std::string::npos);
}

}  // namespace
