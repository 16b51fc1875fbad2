// The real yebstress serving two connections: a verifier that joins while
// the transfer runs checks the stream the first connection gets.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"
#include "support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;

TEST(YebStressFanOutTest, AVerifierThatJoinsARunningTransferPassesAndSaysWhereItJoined) {
  testsupport::TempDir dir;
  testsupport::WriteWholeFile(dir.file("parmInfo.txt"), "2,50\n3,200\n");
  const int port = testsupport::FreeLoopbackPort();
  testsupport::ChildProcess tool(YEBSTRESS_PATH,
                                 {"/Connections", "2", "/PortId", std::to_string(port),
                                  "/OutputDir", dir.file("out"), "/PacketRate", "10"},
                                 dir.path());
  ASSERT_TRUE(tool.waitForOutput("- Blocked waiting for connect", 10s)) << tool.output();

  // The YEB's stand-in: reads until the verifier is done.
  std::string reason;
  platform::TcpStream yeb = platform::ConnectTcp("127.0.0.1", port, 5000, reason);
  ASSERT_TRUE(yeb.IsOpen()) << reason;
  std::atomic<size_t> received{0};
  std::atomic<bool> done{false};
  std::thread reader([&] {
    std::vector<uint8_t> chunk(1 << 16);
    const auto limit = std::chrono::steady_clock::now() + 30s;
    while (!done && std::chrono::steady_clock::now() < limit) {
      platform::ReceiveResult r = yeb.Receive(chunk.data(), chunk.size(), 100);
      if (r.status == platform::ReceiveStatus::kData) received += r.bytes;
      if (r.status == platform::ReceiveStatus::kClosed ||
          r.status == platform::ReceiveStatus::kError)
        break;
    }
  });
  // Well into the transfer: more than a cycle has gone out.
  const auto limit = std::chrono::steady_clock::now() + 10s;
  while (received < 150 * 1000 && std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(10ms);
  }

  testsupport::ChildProcess verifier(
      YEBVERIFY_PATH, {"--manifest", dir.file("out/run.json"), "--seconds", "2"}, dir.path());
  const int status = verifier.waitForExit(20s);
  done = true;
  reader.join();
  EXPECT_EQ(status, 0) << verifier.output();
  EXPECT_NE(verifier.output().find("  joined at sequence "), std::string::npos)
      << verifier.output();
  EXPECT_EQ(verifier.output().find("joined at sequence 1:"), std::string::npos);
  EXPECT_NE(tool.output().find("- Connection 2 (127.0.0.1:"), std::string::npos) << tool.output();
}

}  // namespace
