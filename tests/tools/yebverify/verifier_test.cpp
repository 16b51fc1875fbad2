// The run loop on in-memory connections: framing, limits, reconnects,
// reports and the exit status. Time is a fake clock that moves 1 ms per read.
#include "Verifier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <nlohmann/json.hpp>

#include "ParameterList.h"
#include "reference/ReferenceTool.h"

namespace yebverify {
namespace {

using yebverify_test::PutLe32;
using yebverify_test::ReferenceConfig;
using yebverify_test::ReferenceTool;

class StepClock final : public platform::Clock {
 public:
  int64_t NowNs() override { return now; }
  void SleepUntilNs(int64_t deadline) override { now = deadline > now ? deadline : now; }
  int64_t now = 1'000'000'000;
};

// Hands out its bytes in chunks of `chunk`, then ends (or idles).
class MemoryStream final : public ByteStream {
 public:
  MemoryStream(std::vector<uint8_t> bytes, size_t chunk, StepClock& clock, bool endWhenDone)
      : bytes_(std::move(bytes)), chunk_(chunk), clock_(clock), endWhenDone_(endWhenDone) {}
  platform::ReceiveResult Receive(void* buffer, size_t capacity, int timeoutMs) override {
    clock_.now += 1'000'000;
    if (at_ == bytes_.size()) {
      if (endWhenDone_) return {platform::ReceiveStatus::kClosed, 0, {}};
      clock_.now += static_cast<int64_t>(timeoutMs) * 1'000'000;
      return {platform::ReceiveStatus::kTimeout, 0, {}};
    }
    size_t n = std::min({chunk_, capacity, bytes_.size() - at_});
    std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    return {platform::ReceiveStatus::kData, n, {}};
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t chunk_;
  size_t at_ = 0;
  StepClock& clock_;
  bool endWhenDone_;
};

class QueueConnector final : public Connector {
 public:
  std::unique_ptr<ByteStream> Connect(std::string& reason) override {
    ++attempts;
    if (streams.empty()) {
      reason = "cannot connect to 127.0.0.1:1: Connection refused";
      return nullptr;
    }
    std::unique_ptr<ByteStream> s = std::move(streams.front());
    streams.pop_front();
    return s;
  }
  std::deque<std::unique_ptr<ByteStream>> streams;
  int attempts = 0;
};

class VerifierTest : public ::testing::Test {
 protected:
  void SetUp() override { Make({false, 50, false, 0, {50.0, 100.0, 10.0}}); }

  void Make(const ReferenceConfig& config) {
    config_ = config;
    tool_ = std::make_unique<ReferenceTool>(config);
    ParameterList list;
    ASSERT_TRUE((config.nep ? ParseNepXmlList(tool_->ListText(), list)
                            : ParsePrnList(tool_->ListText(), list))
                    .ok());
    model_ = std::make_unique<StreamModel>(
        list, StreamShape{config.nep ? SourceKind::kNep : SourceKind::kCustom, config.packetRate,
                          config.superStress});
  }

  // One transfer of `packets` packets, greeting included for Custom.
  std::vector<uint8_t> Transfer(int packets, int editPacket = 0,
                                void (*edit)(std::vector<uint8_t>&) = nullptr) {
    std::vector<uint8_t> bytes;
    tool_->BeginTransfer();
    if (!config_.nep) bytes = tool_->Greeting();
    for (int i = 1; i <= packets; ++i) {
      std::vector<uint8_t> p = tool_->NextPacket();
      if (i == editPacket) edit(p);
      bytes.insert(bytes.end(), p.begin(), p.end());
    }
    return bytes;
  }

  void Serve(std::vector<uint8_t> bytes, size_t chunk = 4000, bool endWhenDone = true) {
    connector_.streams.push_back(
        std::make_unique<MemoryStream>(std::move(bytes), chunk, clock_, endWhenDone));
  }

  int Run(VerifyOptions options = {}) {
    options.source = config_.nep ? SourceKind::kNep : SourceKind::kCustom;
    options.packetRate = config_.packetRate;
    options.superStress = config_.superStress;
    VerifierIo io;
    io.out = [this](const std::string& text) { out_ += text; };
    io.stopRequested = [this] { return stop_ || clock_.now >= stopAtNs_; };
    io.clock = &clock_;
    verifier_ = std::make_unique<Verifier>(options, *model_, io);
    return verifier_->Run(connector_);
  }

  ReferenceConfig config_;
  std::unique_ptr<ReferenceTool> tool_;
  std::unique_ptr<StreamModel> model_;
  std::unique_ptr<Verifier> verifier_;
  StepClock clock_;
  QueueConnector connector_;
  std::string out_;
  bool stop_ = false;
  int64_t stopAtNs_ = INT64_MAX;
};

TEST_F(VerifierTest, CleanStreamInOddChunksEndsOk) {
  Serve(Transfer(300), 977);  // chunks that split headers and pairs
  EXPECT_EQ(Run(), kExitOk) << out_;
  EXPECT_EQ(verifier_->checker().packetsChecked(), 300u);
  EXPECT_NE(out_.find("yebverify: OK: 300 packets"), std::string::npos) << out_;
  EXPECT_NE(out_.find("failures: none"), std::string::npos);
}

TEST_F(VerifierTest, NepStreamEndsOk) {
  Make({true, 100, true, 4, {100.0, 7.0, 1000.0}});
  Serve(Transfer(250), 1 << 16);
  EXPECT_EQ(Run(), kExitOk) << out_;
  EXPECT_EQ(verifier_->checker().packetsChecked(), 250u);
}

TEST_F(VerifierTest, AFaultGivesExitOneAndIsPrintedWhenFound) {
  Serve(Transfer(20, 7, [](std::vector<uint8_t>& p) {
    PutLe32(p, 4, 99);
    PutLe32(p, 8, 99);
  }));
  EXPECT_EQ(Run(), kExitFailed);
  EXPECT_NE(out_.find("FAIL sequence: packet 7, offset 4: expected sequence number 7, found 99\n"),
            std::string::npos)
      << out_;
  EXPECT_NE(out_.find("yebverify: FAILED: 1 failed checks (sequence 1) in 20 packets"),
            std::string::npos)
      << out_;
}

TEST_F(VerifierTest, ASizeWordThatCannotBeAPacketStopsTheRun) {
  Serve(Transfer(10, 4, [](std::vector<uint8_t>& p) { PutLe32(p, 0, 0x7FFFFFF0); }));
  EXPECT_EQ(Run(), kExitFailed);
  EXPECT_EQ(verifier_->checker().packetsChecked(), 3u);
  EXPECT_NE(out_.find("framing lost, stopping"), std::string::npos) << out_;
}

TEST_F(VerifierTest, AStreamThatEndsInsideAPacketIsTruncated) {
  std::vector<uint8_t> bytes = Transfer(5);
  bytes.resize(bytes.size() - 100);
  Serve(bytes);
  EXPECT_EQ(Run(), kExitFailed);
  EXPECT_EQ(verifier_->failures().count(FailureKind::kTruncated), 1u) << out_;
  EXPECT_EQ(verifier_->checker().packetsChecked(), 4u);
}

TEST_F(VerifierTest, RepeatsAreFoundWhereverTheBufferIsCompacted) {
  // Every packet two or three times, over more bytes than the buffer holds,
  // so that it is compacted between packets and their copies at changing
  // places; in small chunks little of the copy has come by then, in large
  // ones much of it.
  for (size_t chunk : {3000, 200000}) {
    SetUp();
    out_.clear();
    std::vector<uint8_t> bytes = tool_->Greeting();
    const int packets = 10000;
    for (int i = 0; i < packets; ++i) {
      const std::vector<uint8_t> p = tool_->NextPacket();
      for (int copy = 0; copy < 2 + i % 2; ++copy) bytes.insert(bytes.end(), p.begin(), p.end());
    }
    ASSERT_GT(bytes.size(), 5 * (5u << 20));
    Serve(bytes, chunk);
    EXPECT_EQ(Run(), kExitFailed);
    EXPECT_EQ(verifier_->failures().count(FailureKind::kDuplicated), uint64_t{packets}) << chunk;
    EXPECT_EQ(verifier_->failures().total(), uint64_t{packets}) << chunk;
  }
}

TEST_F(VerifierTest, PacketLimitEndsEachConnectionAndReconnectCarriesOn) {
  Serve(Transfer(40), 1 << 20, false);
  for (int i = 0; i < 5; ++i) tool_->NextPacket();  // sent while nobody read
  Serve(Transfer(40), 1 << 20, false);
  VerifyOptions options;
  options.packets = 30;
  options.reconnects = 1;
  EXPECT_EQ(Run(options), kExitOk) << out_;
  EXPECT_EQ(verifier_->checker().packetsChecked(), 60u);
  // 10 unread packets of the first transfer plus the 5 built in between.
  EXPECT_EQ(verifier_->checker().packetsMissedBetweenConnections(), 15u);
  EXPECT_NE(out_.find("connections: 2"), std::string::npos) << out_;
}

TEST_F(VerifierTest, SecondsLimitEndsAnIdleConnection) {
  Serve(Transfer(3), 1 << 20, false);
  VerifyOptions options;
  options.seconds = 2.5;
  EXPECT_EQ(Run(options), kExitOk) << out_;
  EXPECT_GE(clock_.now, 3'500'000'000);
  // Once a second while it waited.
  EXPECT_NE(out_.find("[    2.0 s] packets 3 (+0)"), std::string::npos) << out_;
}

TEST_F(VerifierTest, AStopRequestEndsTheRunWithoutReconnecting) {
  Serve(Transfer(3), 1 << 20, false);
  Serve(Transfer(3), 1 << 20, false);
  stop_ = true;
  VerifyOptions options;
  options.reconnects = 1;
  EXPECT_EQ(Run(options), kExitError);  // stopped before any packet
  EXPECT_EQ(connector_.attempts, 1);
  EXPECT_NE(out_.find("yebverify: error: no packet arrived"), std::string::npos) << out_;
}

TEST_F(VerifierTest, NoConnectionIsExitTwoWithTheReason) {
  EXPECT_EQ(Run(), kExitError);
  EXPECT_NE(out_.find("yebverify: error: cannot connect to 127.0.0.1:1: Connection refused\n"),
            std::string::npos)
      << out_;
}

TEST_F(VerifierTest, JsonWritesOneObjectPerLine) {
  Serve(Transfer(3), 1 << 20, false);
  VerifyOptions options;
  options.json = true;
  options.seconds = 1.5;
  EXPECT_EQ(Run(options), kExitOk);
  size_t lines = 0;
  for (size_t at = 0, next; (next = out_.find('\n', at)) != std::string::npos; at = next + 1) {
    std::string line = out_.substr(at, next - at);
    EXPECT_EQ(line.front(), '{') << line;
    EXPECT_EQ(line.back(), '}') << line;
    ++lines;
  }
  EXPECT_EQ(lines, 3u) << out_;  // one progress line, the summary, the verdict
  EXPECT_NE(out_.find("{\"type\":\"summary\""), std::string::npos);
  EXPECT_NE(out_.find("\"packets\":3,"), std::string::npos) << out_;
  EXPECT_NE(out_.find("\"total_packets\":3,"), std::string::npos) << out_;
  EXPECT_NE(out_.find("{\"type\":\"verdict\",\"status\":0,"), std::string::npos);
}

TEST_F(VerifierTest, ABrokenThresholdFailsTheRunAndBothAreInTheSummary) {
  // One packet a read, 1 ms apart: twenty times the nominal 50/s, and never late.
  std::vector<uint8_t> bytes = Transfer(60);
  const size_t packet = (bytes.size() - 5) / 60;
  bytes.erase(bytes.begin(), bytes.begin() + 5);
  std::vector<uint8_t> served = tool_->Greeting();
  served.insert(served.end(), bytes.begin(), bytes.end());
  VerifyOptions options;
  options.maxLateMs = 0;
  options.minRatePercent = 2500;
  Serve(served, packet);
  EXPECT_EQ(Run(options), kExitFailed) << out_;
  EXPECT_NE(out_.find("  --max-late-ms 0: met\n  --min-rate-percent 2500: broken\n"),
            std::string::npos)
      << out_;
  EXPECT_NE(out_.find("yebverify: FAILED: steady packet rate 2000.000 % of nominal is below "
                      "--min-rate-percent 2500\n"),
            std::string::npos)
      << out_;

  out_.clear();
  Make(config_);
  options.json = true;
  options.minRatePercent = 1500;
  bytes = Transfer(60);
  Serve(bytes, packet);
  EXPECT_EQ(Run(options), kExitOk) << out_;
  EXPECT_NE(out_.find(",\"thresholds\":{\"max_late_ms\":{\"limit\":0.0,\"measured\":0.0,"
                      "\"met\":true},\"min_rate_percent\":{\"limit\":1500.0,\"measured\":2000.0,"
                      "\"met\":true}},\"run_id\":null}\n"),
            std::string::npos)
      << out_;
}

TEST_F(VerifierTest, ARunCutShortIsIncompleteAndNeverPasses) {
  struct Case {
    const char* name;
    double seconds;
    uint64_t packets;
    int reconnects;
    int transfers;  // served, each of `served` packets
    int served;
    bool toolEnds;        // the tool closes each transfer when its packets are out
    int64_t stopAfterNs;  // a stop request this long after the start
    int status;
    const char* verdict;
  } cases[] = {
      {"stopped before --seconds", 20, 0, 0, 1, 40, false, 2'000'000'000, kExitFailed,
       "yebverify: INCOMPLETE: stopped by request after 2.0 s of --seconds 20\n"},
      {"stopped before --packets", 0, 500, 0, 1, 40, false, 2'000'000'000, kExitFailed,
       "yebverify: INCOMPLETE: stopped by request after 40 of --packets 500\n"},
      {"tool ended before --packets", 0, 500, 0, 1, 40, true, INT64_MAX, kExitFailed,
       "1 failed checks (disconnected 1) in 40 packets; INCOMPLETE: the tool ended connection 1 "
       "after 40 of --packets 500\n"},
      {"reconnect failed", 0, 30, 2, 2, 40, false, INT64_MAX, kExitFailed,
       "yebverify: INCOMPLETE: reconnect 2 failed (cannot connect to 127.0.0.1:1: Connection "
       "refused) after 2 of 3 connections (--reconnect 2)\n"},
      {"stopped without a goal", 0, 0, 0, 1, 40, false, 2'000'000'000, kExitOk,
       "yebverify: OK: 40 packets"},
      {"stopped before the last connection", 0, 0, 1, 2, 40, false, 1'500'000'000, kExitFailed,
       "yebverify: INCOMPLETE: stopped by request after connection 1 of 2 (--reconnect 1)\n"},
  };
  for (const Case& c : cases) {
    out_.clear();
    Make(config_);
    clock_.now = 1'000'000'000;
    stopAtNs_ = c.stopAfterNs == INT64_MAX ? INT64_MAX : clock_.now + c.stopAfterNs;
    for (int t = 0; t < c.transfers; ++t) Serve(Transfer(c.served), 1 << 20, c.toolEnds);
    VerifyOptions options;
    options.seconds = c.seconds;
    options.packets = c.packets;
    options.reconnects = c.reconnects;
    EXPECT_EQ(Run(options), c.status) << c.name << "\n" << out_;
    EXPECT_NE(out_.find(c.verdict), std::string::npos) << c.name << "\n" << out_;
    EXPECT_EQ(verifier_->outcome().incomplete.empty(), c.status == kExitOk) << c.name;
  }
}

// Every line is JSON a reader parses; times are UTC, absent values null, and
// a failure's values are fields of their own.
TEST_F(VerifierTest, JsonLinesShareOneVocabulary) {
  Serve(Transfer(20, 7, [](std::vector<uint8_t>& p) {
    PutLe32(p, 4, 70);
    PutLe32(p, 8, 70);
  }));
  VerifyOptions options;
  options.json = true;
  options.runId = std::string(32, 'f');
  std::string fileLines;
  out_.clear();
  options.source = SourceKind::kCustom;
  VerifierIo io;
  io.out = [this](const std::string& text) { out_ += text; };
  io.jsonOut = [&](const std::string& text) { fileLines += text; };
  io.clock = &clock_;
  Verifier verifier(options, *model_, io);
  EXPECT_EQ(verifier.Run(connector_), kExitFailed);
  EXPECT_EQ(fileLines, out_);  // the file holds what a --json console shows
  std::vector<nlohmann::json> lines;
  for (size_t at = 0, next; (next = out_.find('\n', at)) != std::string::npos; at = next + 1) {
    lines.push_back(nlohmann::json::parse(out_.substr(at, next - at)));
    EXPECT_EQ(lines.back()["run_id"], options.runId);
  }
  ASSERT_GE(lines.size(), 3u) << out_;
  const nlohmann::json& failure = lines.front();
  EXPECT_EQ(failure["type"], "failure");
  EXPECT_EQ(failure["kind"], "sequence");
  EXPECT_EQ(failure["expected"], "7");
  EXPECT_EQ(failure["found"], "70");
  const nlohmann::json& summary = lines[lines.size() - 2];
  EXPECT_EQ(summary["type"], "summary");
  const std::string wall = summary["wall"];
  EXPECT_EQ(wall.back(), 'Z');
  EXPECT_TRUE(summary["data_time"].is_string());
  EXPECT_TRUE(summary["faults_expected"].is_null());
  EXPECT_TRUE(summary["thresholds"].is_null());
  EXPECT_EQ(summary["described"][0]["found"], "70");
  const nlohmann::json& verdict = lines.back();
  EXPECT_EQ(verdict["result"], "failed");
  EXPECT_EQ(verdict["status"], kExitFailed);
  EXPECT_TRUE(verdict["hint"].is_null());  // a Custom stream checked as one
}

TEST_F(VerifierTest, AStreamOfAnotherShapeIsNamedInTheVerdict) {
  // A NEP stream at 200/s read with the Custom list a Custom run left.
  ReferenceTool nep({true, 200, false, 0, {200.0, 10.0}});
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 5; ++i) {
    std::vector<uint8_t> p = nep.NextPacket();
    bytes.insert(bytes.end(), p.begin(), p.end());
  }
  Serve(bytes);
  EXPECT_EQ(Run(), kExitFailed);
  EXPECT_NE(out_.find("\n  this looks like a NEP stream at 200 packets/s: try --source nep "
                      "--packet-rate 200 or --manifest\n"),
            std::string::npos)
      << out_;
}

}  // namespace
}  // namespace yebverify
