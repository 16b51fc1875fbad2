// Runs as a script or a CI job makes them: the tool ends on its own, says
// in its manifest where it listens and what it sends, and yebverify checks
// the stream from the manifest alone.

#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Socket.h"
#include "support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;

nlohmann::json ReadJson(const std::string& path) {
  return nlohmann::json::parse(testsupport::ReadWholeFile(path), nullptr, false);
}

// /PortId 0 and /Bind: the port the system chose reaches the verifier through
// the manifest, which also carries every stream setting; /Transfers 2 ends
// the tool after the verifier's second connection, with status 0 and no key.
TEST(ScriptedRun, TransfersEndTheToolAndTheVerifierNeedsOnlyTheManifest) {
  testsupport::TempDir dir;
  testsupport::WriteWholeFile(dir.file("parmInfo.txt"), "3,50\n2,400\n1,1\n");
  testsupport::ChildProcess tool(
      YEBSTRESS_PATH,
      {"/SourceType", "NEP", "/PacketRate", "5", "/SuperStress", "/TagOffset", "7", "/PortId", "0",
       "/Bind", "127.0.0.1", "/Transfers", "2", "/StatsFile", "stats.jsonl"},
      dir.path());
  ASSERT_TRUE(tool.waitForOutput("- Blocked waiting for connect by the YEB on Port: ( ", 10s))
      << tool.output();
  const nlohmann::json manifest = ReadJson(dir.file("YEBFiles/run.json"));
  ASSERT_TRUE(manifest.is_object());
  EXPECT_EQ(manifest["source"], "nep");
  EXPECT_EQ(manifest["packet_rate"], 200);
  EXPECT_EQ(manifest["super_stress"], true);
  EXPECT_EQ(manifest["tag_offset"], 7);
  EXPECT_EQ(manifest["address"], "127.0.0.1");
  const int port = manifest["port"].get<int>();
  ASSERT_GT(port, 0);
  EXPECT_NE(tool.output().find("Port: ( " + std::to_string(port) + " )"), std::string::npos);

  testsupport::ChildProcess verifier(
      YEBVERIFY_PATH,
      {"--manifest", dir.file("YEBFiles/run.json"), "--packets", "300", "--reconnect", "1"},
      dir.path());
  EXPECT_EQ(verifier.waitForExit(30s), 0) << verifier.output();
  EXPECT_EQ(tool.waitForExit(10s), 0) << tool.output();
  EXPECT_NE(tool.output().find("Ciao...\n"), std::string::npos) << tool.output();
  EXPECT_EQ(tool.output().find("Hit any key"), std::string::npos) << tool.output();

  // The statistics file starts with the manifest, and every event carries
  // the run's id.
  std::istringstream lines(testsupport::ReadWholeFile(dir.file("stats.jsonl")));
  std::vector<nlohmann::json> events;
  for (std::string line; std::getline(lines, line);) events.push_back(nlohmann::json::parse(line));
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events[0]["event"], "start");
  EXPECT_EQ(events[0]["port"], port);
  int connects = 0;
  for (const nlohmann::json& event : events) {
    EXPECT_EQ(event["run_id"], manifest["run_id"]) << event.dump();
    if (event["event"] == "connect") ++connects;
  }
  EXPECT_EQ(connects, 2);
}

// /Duration counts from the first connection and also ends a transfer that
// is running, saying what ended it.
TEST(ScriptedRun, DurationEndsARunningTransfer) {
  testsupport::TempDir dir;
  testsupport::WriteWholeFile(dir.file("parmInfo.txt"), "2,50\n");
  testsupport::ChildProcess tool(YEBSTRESS_PATH, {"/PortId", "0", "/Duration", "1.5"}, dir.path());
  ASSERT_TRUE(tool.waitForOutput("- Blocked waiting", 10s)) << tool.output();
  const int port = ReadJson(dir.file("YEBFiles/run.json"))["port"].get<int>();
  std::string reason;
  platform::TcpStream client = platform::ConnectTcp("127.0.0.1", port, 5000, reason);
  ASSERT_TRUE(client.IsOpen()) << reason;
  // Read on until the tool closes: about 1.5 s of packets, then the end.
  std::vector<char> buffer(65536);
  const auto limit = std::chrono::steady_clock::now() + 20s;
  while (std::chrono::steady_clock::now() < limit) {
    const platform::ReceiveResult got = client.Receive(buffer.data(), buffer.size(), 200);
    if (got.status == platform::ReceiveStatus::kClosed ||
        got.status == platform::ReceiveStatus::kError) {
      break;
    }
  }
  EXPECT_EQ(tool.waitForExit(10s), 0) << tool.output();
  EXPECT_NE(tool.output().find("- The transfer was ended by /Duration, not by the YEB\n\n"
                               "Ciao...\n"),
            std::string::npos)
      << tool.output();
}

}  // namespace
