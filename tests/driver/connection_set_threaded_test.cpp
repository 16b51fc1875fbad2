// Several connections at once, in process: a real transfer on the real
// clock fans out to loopback clients read by threads of their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>
#include <vector>

#include "driver/ConnectionSet.h"
#include "driver/StatsFile.h"
#include "driver/Transfer.h"
#include "driver_fakes_support.h"
#include "packet/PacketState.h"
#include "packet/ParmTable.h"
#include "packet/RunSettings.h"
#include "packet/packet_reference_support.h"
#include "platform/TextOut.h"
#include "support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;
using drivertest::U32At;

constexpr size_t kGreeting = 5;

// A key pressed when `pressed` says so, asked on the streaming loop's thread.
class PredicateKeys final : public platform::KeySource {
 public:
  explicit PredicateKeys(std::function<bool()> pressed) : pressed_(std::move(pressed)) {}
  bool KeyPending() override { return !consumed_ && pressed_(); }
  int ReadKey() override {
    if (!KeyPending()) return platform::kEndOfInput;
    consumed_ = true;
    return 'k';
  }

 private:
  std::function<bool()> pressed_;
  bool consumed_ = false;
};

// A client that reads everything on a thread of its own, once it has
// connected when `connectWhen` says so; it counts whole packets as they come
// and the time of each.
class Client {
 public:
  Client(int port, size_t packetBytes, std::function<bool()> connectWhen, bool reads = true)
      : packetBytes_(packetBytes) {
    thread_ = std::thread([this, port, connectWhen, reads] {
      const auto limit = std::chrono::steady_clock::now() + 20s;
      while (!connectWhen() && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(1ms);
      }
      std::string reason;
      platform::TcpStream stream = platform::ConnectTcp("127.0.0.1", port, 5000, reason);
      if (!stream.IsOpen()) return;
      localPort_ = stream.socket().LocalPort();
      if (!reads) {
        // Stops reading until told.
        while (!stopStalling.load() && std::chrono::steady_clock::now() < limit) {
          std::this_thread::sleep_for(5ms);
        }
      }
      std::vector<uint8_t> chunk(1 << 16);
      while (std::chrono::steady_clock::now() < limit) {
        platform::ReceiveResult r = stream.Receive(chunk.data(), chunk.size(), 100);
        if (r.status == platform::ReceiveStatus::kData) {
          bytes_.insert(bytes_.end(), chunk.begin(), chunk.begin() + static_cast<long>(r.bytes));
          const size_t whole =
              bytes_.size() < kGreeting ? 0 : (bytes_.size() - kGreeting) / packetBytes_;
          const auto now = std::chrono::steady_clock::now();
          while (arrivals_.size() < whole) arrivals_.push_back(now);
          packets.store(static_cast<int64_t>(whole));
        } else if (r.status != platform::ReceiveStatus::kTimeout) {
          break;
        }
      }
    });
  }
  ~Client() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  // After Join.
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  const std::vector<std::chrono::steady_clock::time_point>& arrivals() const { return arrivals_; }
  uint16_t localPort() const { return localPort_; }

  std::atomic<int64_t> packets{0};
  std::atomic<bool> stopStalling{false};

 private:
  size_t packetBytes_;
  std::vector<uint8_t> bytes_;
  std::vector<std::chrono::steady_clock::time_point> arrivals_;
  uint16_t localPort_ = 0;
  std::thread thread_;
};

class ConnectionSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    packet::ResetRunSettings();
    packet::ResetParmTable();
    packet::ResetPacketState();
    driver::ResetStreamState();
    port = testsupport::FreeLoopbackPort();
    listener = std::make_unique<net::utServerSocket>(static_cast<uint16_t>(port), 4, console);
    ASSERT_TRUE(listener->IsValid());
  }
  void TearDown() override {
    packet::ResetRunSettings();
    packet::ResetParmTable();
    packet::ResetPacketState();
    driver::ResetStreamState();
  }

  // `count` parameters of `rate` samples per second at 200 packets per
  // second, in the process-wide table and in the reference model.
  void Load(int count, double rate) {
    packet::RunSettings& settings = packet::Settings();
    settings.packetRate = 200;
    settings.packetPeriodMs = 5;
    for (int i = 0; i < count; ++i) {
      packettest::ModelRecord r = packettest::MakeModelRecord(rate, settings.packetRate);
      r.tag = static_cast<uint16_t>(3 + i);
      model.push_back(r);
    }
    packettest::LoadTable(model, packet::Parms());
    packet::PacketState& state = packet::Packets();
    state.timeValuesPerPacket = 10000 / settings.packetRate;
    state.packetBufferSize = packettest::ModelBufferSize(settings, model);
    state.packetHeader[0] = static_cast<uint32_t>(state.packetBufferSize - 4);
    modelState.timeValuesPerPacket = state.timeValuesPerPacket;
    modelState.packetBufferSize = state.packetBufferSize;
    packetBytes = static_cast<size_t>(state.packetBufferSize);
    ASSERT_TRUE(buffer.Allocate(state.packetBufferSize));
  }

  // Model packets 1..n.
  std::vector<std::vector<uint8_t>> ModelStream(size_t n) {
    std::vector<std::vector<uint8_t>> packets;
    for (size_t i = 0; i < n; ++i) {
      packets.push_back(packettest::ModelCustomPacket(packet::Settings(), model, modelState));
    }
    return packets;
  }

  // Runs a transfer to at most `maxConnections` from the first connection
  // that comes; `keys` ends it.
  void RunFanOut(int maxConnections, platform::KeySource& keys) {
    std::unique_ptr<net::utServerSocket> connection = listener->Accept();
    ASSERT_TRUE(connection);
    driver::RunEnvironment env{console, keys, platform::SystemClock()};
    driver::ConnectionSetOptions options;
    options.maxConnections = maxConnections;
    options.packetRate = packet::Settings().packetRate;
    int64_t connections = 0;
    {
      driver::ConnectionSet set(*listener, options, env, stats.get(), connections);
      set.Add(std::move(connection), /*greet=*/true);
      driver::RunTransfer(set, buffer, env, {stats.get(), 1, false});
    }
  }

  int port = 0;
  platform::StringTextOut console;
  std::unique_ptr<net::utServerSocket> listener;
  packet::SendBuffer buffer;
  std::vector<packettest::ModelRecord> model;
  packettest::ModelState modelState;
  size_t packetBytes = 0;
  std::unique_ptr<driver::StatsFile> stats;
};

// Each client's stream: the greeting, then whole packets, the first with
// sequence number k and every one equal to packet k, k + 1, ... of the
// reference model. Returns k and the number of packets.
std::pair<uint32_t, size_t> CheckAgainstModel(
    const std::vector<uint8_t>& bytes, size_t packetBytes,
    const std::vector<std::vector<uint8_t>>& modelStream) {
  EXPECT_GE(bytes.size(), kGreeting + packetBytes);
  if (bytes.size() < kGreeting + packetBytes) return {0, 0};
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + kGreeting),
            (std::vector<uint8_t>{1, 0, 0, 0, 0}));
  EXPECT_EQ((bytes.size() - kGreeting) % packetBytes, 0u) << "a packet cut short";
  const size_t packets = (bytes.size() - kGreeting) / packetBytes;
  const uint32_t first = U32At(bytes, kGreeting + 4);
  EXPECT_GE(first, 1u);
  EXPECT_LE(first - 1 + packets, modelStream.size());
  for (size_t i = 0; i < packets && first - 1 + i < modelStream.size(); ++i) {
    const auto at = bytes.begin() + static_cast<long>(kGreeting + i * packetBytes);
    if (!std::equal(at, at + static_cast<long>(packetBytes), modelStream[first - 1 + i].begin())) {
      ADD_FAILURE() << "packet " << first + i << " differs from the model";
      break;
    }
  }
  return {first, packets};
}

TEST_F(ConnectionSetTest, ClientsJoiningAtDifferentTimesGetTheModelStreamFromTheirJoinOn) {
  Load(3, 400);
  Client a(port, packetBytes, [] { return true; });
  Client b(port, packetBytes, [&] { return a.packets.load() >= 60; });
  Client c(port, packetBytes, [&] { return a.packets.load() >= 120; });
  // One more than /Connections allows: taken and closed at once.
  Client extra(port, packetBytes, [&] { return a.packets.load() >= 160; });
  PredicateKeys keys([&] { return a.packets.load() >= 260; });
  RunFanOut(3, keys);
  a.Join();
  b.Join();
  c.Join();
  extra.Join();

  const std::vector<std::vector<uint8_t>> modelStream = ModelStream(2000);
  const auto [firstA, packetsA] = CheckAgainstModel(a.bytes(), packetBytes, modelStream);
  const auto [firstB, packetsB] = CheckAgainstModel(b.bytes(), packetBytes, modelStream);
  const auto [firstC, packetsC] = CheckAgainstModel(c.bytes(), packetBytes, modelStream);
  EXPECT_EQ(firstA, 1u);
  EXPECT_GT(firstB, 60u);
  EXPECT_GT(firstC, 120u);
  // Every client saw the stream to its last packet: the key ends it for all
  // and what was queued is sent first.
  EXPECT_EQ(firstB + packetsB, firstA + packetsA);
  EXPECT_EQ(firstC + packetsC, firstA + packetsA);
  EXPECT_TRUE(extra.bytes().empty());
  const std::string refused = "- Connection from 127.0.0.1:" + std::to_string(extra.localPort()) +
                              " refused: 3 connections are open, the most /Connections allows\n";
  EXPECT_NE(console.text().find(refused), std::string::npos) << console.text();
  EXPECT_NE(
      console.text().find("- Connections: 1 (127.0.0.1:" + std::to_string(a.localPort()) + ") "),
      std::string::npos)
      << console.text();
}

TEST_F(ConnectionSetTest, AReaderThatStopsIsClosedAtTheQueueBoundWhileTheOthersKeepTheRate) {
  // About 10 MB/s: 1,600 parameters of 5 samples a packet.
  Load(1600, 1000);
  testsupport::TempDir dir;
  std::string error;
  stats = driver::StatsFile::Open(dir.file("stats.jsonl"), console, error);
  ASSERT_TRUE(stats) << error;

  Client a(port, packetBytes, [] { return true; });
  Client b(port, packetBytes, [&] { return a.packets.load() >= 20; });
  Client stalled(
      port, packetBytes, [&] { return a.packets.load() >= 40; }, /*reads=*/false);
  // Two cycles after the stalled reader was given up.
  int64_t closedAt = -1;
  PredicateKeys keys([&] {
    if (closedAt < 0 && console.text().find("fell behind") != std::string::npos) {
      closedAt = a.packets.load();
    }
    return (closedAt >= 0 && a.packets.load() >= closedAt + 400) || a.packets.load() >= 3000;
  });
  RunFanOut(3, keys);
  stalled.stopStalling = true;
  a.Join();
  b.Join();
  stalled.Join();

  ASSERT_GE(closedAt, 0) << console.text();
  const std::string line = "- Connection 3 (127.0.0.1:" + std::to_string(stalled.localPort()) +
                           ") fell behind by 200 packets (";
  EXPECT_NE(console.text().find(line), std::string::npos) << console.text();
  // The stalled reader gets what the socket had taken, then the end.
  EXPECT_LT(stalled.bytes().size(), a.bytes().size());

  // The stream's own cycles: how long each took, and what each connection
  // sent in it.
  std::map<int64_t, double> cycleMs;
  std::map<int64_t, std::map<int64_t, int64_t>> sentInCycle;
  bool behindEvent = false;
  std::istringstream statsLines(testsupport::ReadWholeFile(dir.file("stats.jsonl")));
  for (std::string text; std::getline(statsLines, text);) {
    const nlohmann::json event = nlohmann::json::parse(text);
    if (event["event"] == "end" && event["reason"] == "behind")
      behindEvent = event["connection"] == 3;
    if (event["event"] != "cycle") continue;
    cycleMs[event["cycle"]] = event["cycle_ms"];
    for (const auto& c : event["connections"]) {
      sentInCycle[event["cycle"]][c["connection"]] = c["packets"];
    }
  }
  EXPECT_TRUE(behindEvent);

  for (const Client* healthy : {&a, &b}) {
    const auto& bytes = healthy->bytes();
    ASSERT_GT(bytes.size(), kGreeting + 600 * packetBytes);
    const size_t packets = (bytes.size() - kGreeting) / packetBytes;
    const uint32_t first = U32At(bytes, kGreeting + 4);
    for (size_t i = 0; i < packets; ++i) {
      ASSERT_EQ(U32At(bytes, kGreeting + i * packetBytes + 4), first + i) << "a packet missing";
    }
    // From the first packet of the client's first whole cycle to the first
    // of its last: the rate it received at against the rate the stream was
    // paced at in those cycles (nominal on a quiet machine), and nominal.
    const auto& at = healthy->arrivals();
    const size_t from = (200 - first % 200) % 200;
    const size_t to = from + (packets - from - 1) / 200 * 200;
    const double seconds = std::chrono::duration<double>(at[to] - at[from]).count();
    double streamMs = 0.0;
    for (int64_t cycle = (first + from) / 200 + 1; cycle <= static_cast<int64_t>(first + to) / 200;
         ++cycle) {
      ASSERT_TRUE(cycleMs.count(cycle)) << cycle;
      streamMs += cycleMs[cycle];
    }
    const double rate = static_cast<double>(to - from) / seconds;
    const double streamRate = static_cast<double>(to - from) / (streamMs / 1000.0);
    EXPECT_NEAR(rate, streamRate, streamRate * 0.005) << "packets " << from << " to " << to;
    EXPECT_GE(streamRate, 200.0 * 0.9) << "the stream itself lagged: a busy machine?";
  }
  // After the close every cycle the two others sent what the stream built
  // (one packet may still be on its way at a cycle's end).
  for (const auto& [cycle, sent] : sentInCycle) {
    if (sent.count(3) != 0) continue;
    for (int64_t healthy : {1, 2}) EXPECT_NEAR(sent.at(healthy), 200, 1) << "cycle " << cycle;
  }
}

}  // namespace
