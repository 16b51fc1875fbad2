// The Lua dissector in tools/wireshark against captures this test makes on
// the loopback interface: the stress tool streaming to yebverify, a server
// in this process sending the reference stream in small pieces or with
// faults, and a playback run. Every capture is dissected by tshark and
// compared field by field with what the reference model says was sent.
#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "driver/DataTime.h"
#include "platform/Socket.h"
#include "reference/ReferenceTool.h"
#include "support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using yebverify_test::GetLe32;
using yebverify_test::PutLe32;
using yebverify_test::ReferenceConfig;
using yebverify_test::ReferenceTool;

using Fields = std::map<std::string, std::vector<std::string>>;

std::string FindProgram(const std::string& name) {
  std::stringstream path(getenv("PATH") ? getenv("PATH") : "/usr/bin");
  for (std::string dir; std::getline(path, dir, ':');) {
    if (access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
  }
  return "";
}

std::vector<std::string> Split(const std::string& text, char at) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, at);) parts.push_back(part);
  return parts;
}

const char* const kExperts =
    "yeb.expert.sequence || yeb.expert.sequence_copy || yeb.expert.time || yeb.expert.size || "
    "yeb.expert.tail || yeb.expert.bad_length || _ws.malformed || _ws.expert.severity >= error";

class DissectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tshark_ = FindProgram("tshark");
    const std::string dumpcap = FindProgram("dumpcap");
    if (tshark_.empty() || dumpcap.empty()) GTEST_SKIP() << "tshark or dumpcap is not installed";
    port_ = testsupport::FreeLoopbackPort();
    capture_ = std::make_unique<ChildProcess>(
        dumpcap,
        std::vector<std::string>{"-q", "-i", "lo", "-f", "tcp port " + std::to_string(port_), "-w",
                                 dir_.file("capture.pcapng")});
    if (!capture_->waitForOutput("File: ", 10s)) {
      capture_.reset();
      GTEST_SKIP() << "capturing on the loopback interface is not permitted here";
    }
  }

  // Ends the capture once the last packets are in the file. The kernel hands
  // dumpcap its packets in blocks, after a time-out when a block is not full,
  // and an interrupt drops the block still pending; so wait until the file
  // has grown since the traffic ended and then stayed as it is for longer
  // than a block time-out (all within a few seconds).
  void StopCapture() {
    const std::string file = dir_.file("capture.pcapng");
    const auto start = std::chrono::steady_clock::now();
    auto size = std::filesystem::file_size(file);
    auto changed = start;
    bool grew = false;
    for (auto now = start; now < start + 4s; now = std::chrono::steady_clock::now()) {
      if (std::filesystem::file_size(file) != size) {
        size = std::filesystem::file_size(file);
        changed = now;
        grew = true;
      } else if (now - changed > (grew ? 700ms : 1500ms)) {
        break;
      }
      poll(nullptr, 0, 20);
    }
    capture_->sendSignal(SIGINT);
    ASSERT_EQ(capture_->waitForExit(10s), 0) << capture_->output();
  }

  // tshark on the capture with the dissector loaded; its notice about
  // running as root is dropped, anything else it says stays in the output.
  std::string Tshark(std::vector<std::string> args) {
    args.insert(args.begin(), {"-r", dir_.file("capture.pcapng"), "-X",
                               "lua_script:" SOURCE_DIR "/tools/wireshark/yeb.lua"});
    args.insert(args.end(), options_.begin(), options_.end());
    ChildProcess child(tshark_, args);
    EXPECT_EQ(child.waitForExit(60s), 0) << child.output();
    std::string out;
    for (const std::string& line : Split(child.output(), '\n')) {
      if (line.find("Running as user") == std::string::npos) out += line + "\n";
    }
    return out;
  }

  // Every occurrence of each field in the yeb frames, in stream order.
  Fields Dissect(const std::vector<std::string>& names) {
    std::vector<std::string> args = {"-Y", "yeb",          "-T", "fields",
                                     "-E", "occurrence=a", "-E", "aggregator=,"};
    for (const std::string& n : names) args.insert(args.end(), {"-e", n});
    Fields fields;
    for (const std::string& line : Split(Tshark(args), '\n')) {
      std::vector<std::string> columns = Split(line, '\t');
      EXPECT_LE(columns.size(), names.size()) << line;
      for (size_t i = 0; i < columns.size() && i < names.size(); ++i) {
        for (const std::string& v : Split(columns[i], ',')) fields[names[i]].push_back(v);
      }
    }
    return fields;
  }

  // The payload bytes the server side sent, as captured.
  uint64_t ServerBytes() {
    uint64_t total = 0;
    for (const std::string& n : Split(Tshark({"-Y", "tcp.srcport == " + std::to_string(port_), "-T",
                                              "fields", "-e", "tcp.len"}),
                                      '\n')) {
      total += std::stoull(n);
    }
    return total;
  }

  // The messages of every check that fired, one a line.
  std::string Experts() {
    std::string text = Tshark({"-Y", kExperts, "-T", "fields", "-e", "_ws.expert.message"});
    std::replace(text.begin(), text.end(), ',', '\n');  // several units in one frame
    return text;
  }

  testsupport::TempDir dir_;
  std::string tshark_;
  int port_ = 0;
  std::unique_ptr<ChildProcess> capture_;
  std::vector<std::string> options_;  // preferences and Decode As for tshark
};

// The fields the dissector shows for the packets the model builds, in the
// same order: the expectation the captures are compared with.
Fields ModelFields(const ReferenceConfig& config, size_t packets) {
  ReferenceTool tool(config);
  const uint32_t timeWords = 10000 / static_cast<uint32_t>(config.packetRate);
  auto name = [&](uint32_t index) {
    return config.nep
               ? "Parm" + std::to_string(index + 1)
               : "S01_Parm" + std::to_string(config.tagOffset + static_cast<int32_t>(index) + 1);
  };
  std::map<uint32_t, std::string> names;  // tag -> parameter
  for (uint32_t i = 0; i < config.rates.size(); ++i) {
    names[config.nep ? static_cast<uint32_t>(config.tagOffset) + 2 + i
                     : (static_cast<uint32_t>(config.tagOffset) + 3 + i) & 0xFFFF] = name(i);
  }
  auto value = [](const std::vector<uint8_t>& p, size_t at) {
    float v;
    uint32_t bits = GetLe32(p, at);
    std::memcpy(&v, &bits, 4);
    return std::to_string(v);
  };
  Fields f;
  for (size_t k = 0; k < packets; ++k) {
    std::vector<uint8_t> p = tool.NextPacket();
    f["size"].push_back(std::to_string(p.size() - 4));
    size_t at;
    if (config.nep) {
      for (at = 4; at < 4 + 12 * timeWords; at += 12) {
        uint64_t ns = GetLe32(p, at + 4) | uint64_t{GetLe32(p, at + 8)} << 32;
        f["yeb.nep.time"].push_back(std::to_string(ns));
        f["yeb.param"].push_back("ZARN_TIME");
        if (at == 4) f["yeb.data_time"].push_back(driver::DataTimeText(static_cast<int64_t>(ns)));
      }
      for (; at < p.size(); at += 8) {
        f["yeb.nep.tag"].push_back(std::to_string(static_cast<int32_t>(GetLe32(p, at))));
        f["yeb.param"].push_back(names[GetLe32(p, at)]);
        f["yeb.value"].push_back(value(p, at + 4));
      }
      continue;
    }
    f["yeb.sequence"].push_back(std::to_string(GetLe32(p, 4)));
    f["yeb.param"].push_back("TIME$_DAY");
    for (at = 44; at < 44 + 6 * timeWords; at += 12) {
      f["yeb.time"].push_back(std::to_string(GetLe32(p, at + 4)));
      f["yeb.time"].push_back(std::to_string(GetLe32(p, at + 8)));
      f["yeb.param"].push_back("TIME$_MILLISEC");
    }
    f["yeb.data_time"].push_back(driver::DataTimeText(driver::CustomDataTimeNs(GetLe32(p, 48))));
    for (; at + 12 <= p.size() && (GetLe32(p, at) & 0xFFFF) != 0; at += 12) {
      for (int half = 0; half < 2; ++half) {
        f["yeb.param"].push_back(names[(GetLe32(p, at) >> (16 * half)) & 0xFFFF]);
        f["yeb.value"].push_back(value(p, at + 4 + 4 * static_cast<size_t>(half)));
      }
    }
  }
  return f;
}

// Values as the model prints them, so that both sides read alike.
std::vector<std::string> AsFloats(const std::vector<std::string>& texts) {
  std::vector<std::string> out;
  for (const std::string& t : texts) out.push_back(std::to_string(std::stof(t)));
  return out;
}

// Checks that the capture decodes to exactly the first packets of `config`.
void ExpectDecodedAsModelled(const ReferenceConfig& config, size_t atLeast, Fields got,
                             uint64_t serverBytes) {
  const std::vector<std::string>& sizes = got[config.nep ? "yeb.nep.length" : "yeb.size"];
  ASSERT_GE(sizes.size(), atLeast);
  Fields want = ModelFields(config, sizes.size());
  EXPECT_EQ(sizes, want["size"]);
  // Every byte the server sent is in a decoded unit, but for a last packet
  // cut short when the client went away.
  uint64_t decoded = config.nep ? 0 : 5;
  for (const std::string& s : want["size"]) decoded += std::stoull(s) + 4;
  EXPECT_LE(decoded, serverBytes);
  EXPECT_LT(serverBytes - decoded, std::stoull(want["size"].back()) + 4);
  for (const char* name :
       {"yeb.sequence", "yeb.time", "yeb.nep.time", "yeb.nep.tag", "yeb.param", "yeb.data_time"}) {
    EXPECT_EQ(got[name], want[name]) << name;
  }
  EXPECT_EQ(AsFloats(got["yeb.value"]), want["yeb.value"]);
}

struct ToolRun {
  const char* name;
  ReferenceConfig config;
  bool decodeAs;  // Decode As instead of the port preference
};

void PrintTo(const ToolRun& run, std::ostream* out) { *out << run.name; }

// Fast, slow, a rate equal to the packet rate; the Custom offset wraps the
// 16-bit tags through 0.
const ToolRun kToolRuns[] = {
    {"Custom", {false, 50, false, 0, {50, 50, 100, 10, 1}}, false},
    {"CustomTagOffset", {false, 200, false, 65531, {50, 50, 100, 10, 1}}, true},
    {"Nep", {true, 100, false, 1000, {50, 50, 100, 10, 1}}, true},
};

class ToolStreamTest : public DissectorTest, public ::testing::WithParamInterface<ToolRun> {};

TEST_P(ToolStreamTest, EveryPacketDecodesAsSentWithoutWarnings) {
  const ReferenceConfig& config = GetParam().config;
  testsupport::WriteWholeFile(dir_.file("parmInfo.txt"), "2,50\n1,100\n1,10\n1,1\n");
  const std::string port = std::to_string(port_);
  ChildProcess tool(
      YEBSTRESS_PATH,
      {"/PortId", port, "/PacketRate", std::to_string(1000 / config.packetRate), "/SourceType",
       config.nep ? "NEP" : "Custom", "/TagOffset", std::to_string(config.tagOffset)},
      dir_.path());
  ASSERT_TRUE(tool.waitForOutput("Blocked waiting for connect", 15s)) << tool.output();
  const std::string packets = std::to_string(config.packetRate + config.packetRate / 5);
  ChildProcess verifier(YEBVERIFY_PATH,
                        {"--port", port, "--source", config.nep ? "nep" : "custom", "--packet-rate",
                         std::to_string(config.packetRate), "--tag-offset",
                         std::to_string(config.tagOffset), "--packets", packets, "--quiet"},
                        dir_.path());
  ASSERT_EQ(verifier.waitForExit(30s), 0) << verifier.output();
  ASSERT_TRUE(tool.waitForOutput("YEB terminated the connection", 10s)) << tool.output();
  StopCapture();

  const std::string list = dir_.file(config.nep ? "YEBFiles/NEP.xml" : "YEBFiles/zarnYEB.prn");
  options_ = {"-o", std::string(config.nep ? "yeb.nep_xml:" : "yeb.prn:") + list};
  if (GetParam().decodeAs) {
    options_.insert(options_.end(), {"-o", "yeb.port:0", "-d", "tcp.port==" + port + ",yeb"});
  } else {
    options_.insert(options_.end(), {"-o", "yeb.port:" + port});
  }
  ExpectDecodedAsModelled(
      config, std::stoul(packets),
      Dissect({"yeb.size", "yeb.nep.length", "yeb.sequence", "yeb.time", "yeb.nep.time",
               "yeb.nep.tag", "yeb.param", "yeb.value", "yeb.data_time"}),
      ServerBytes());
  EXPECT_EQ(Experts(), "");
}

INSTANTIATE_TEST_SUITE_P(Sources, ToolStreamTest, ::testing::ValuesIn(kToolRuns),
                         [](const ::testing::TestParamInfo<ToolRun>& info) {
                           return std::string(info.param.name);
                         });

// Serves `bytes` to one client on 127.0.0.1:`port`, `piece` bytes at a time.
// With Nagle off, a piece written once the previous one has left the socket
// (nothing unsent, SIOCOUTQNSD) mostly travels in a segment of its own.
void Serve(int port, const std::vector<uint8_t>& bytes, size_t piece) {
  int listener = socket(AF_INET, SOCK_STREAM, 0), on = 1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  pollfd waiting{listener, POLLIN, 0};
  ASSERT_EQ(poll(&waiting, 1, 10000), 1) << "no client connected";
  int fd = accept(listener, nullptr, nullptr);
  close(listener);
  ASSERT_GE(fd, 0);
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  for (size_t at = 0; at < bytes.size(); at += piece) {
    const size_t n = std::min(piece, bytes.size() - at);
    if (send(fd, bytes.data() + at, n, MSG_NOSIGNAL) != static_cast<ssize_t>(n)) break;
    int unsent = 1;
    for (int spins = 0; spins < 1000 && ioctl(fd, SIOCOUTQNSD, &unsent) == 0 && unsent > 0;
         ++spins) {
      poll(nullptr, 0, 1);
    }
  }
  close(fd);
}

TEST_F(DissectorTest, AWrongStreamInSmallSegmentsRaisesOneWarningPerFault) {
  const ReferenceConfig config{false, 50, false, 0, {50.0, 100.0, 10.0, 1000.0}};
  ReferenceTool tool(config);
  std::vector<uint8_t> bytes = tool.Greeting();
  for (uint32_t n = 1; n <= 50; ++n) {
    std::vector<uint8_t> p = tool.NextPacket();
    for (size_t at = 44; n >= 20 && at < 44 + 1200; at += 4) {
      if (at % 12 != 8) PutLe32(p, at, GetLe32(p, at) + 5000);  // time words jump from 20 on
    }
    if (n >= 30) {  // sequence number 30 is skipped
      PutLe32(p, 4, n + 1);
      PutLe32(p, 8, n + 1);
    }
    if (n == 40) {  // one packet a pair short
      p.resize(p.size() - 12);
      PutLe32(p, 0, static_cast<uint32_t>(p.size() - 4));
    }
    bytes.insert(bytes.end(), p.begin(), p.end());
  }
  const std::string list = dir_.file("zarnYEB.prn");
  testsupport::WriteWholeFile(list, tool.ListText());
  ChildProcess verifier(YEBVERIFY_PATH,
                        {"--port", std::to_string(port_), "--list", list, "--quiet"});
  Serve(port_, bytes, 97);  // 97 shares no factor with the packet size
  EXPECT_EQ(verifier.waitForExit(30s), 1) << verifier.output();
  StopCapture();

  options_ = {"-o", "yeb.port:" + std::to_string(port_)};
  const uint32_t size = GetLe32(bytes, 5);
  EXPECT_EQ(Experts(),
            "Time word 8800 does not continue from 3799\n"
            "Sequence number 31 does not follow 29\n"
            "Size word " +
                std::to_string(size - 12) + " differs from the first packet's " +
                std::to_string(size) + "\n");
  // Every packet was reassembled from many segments (the kernel may still
  // join a few pieces) and decoded in spite of the faults.
  Fields got = Dissect({"yeb.sequence", "tcp.segment.count"});
  EXPECT_EQ(got["yeb.sequence"].size(), 50u);
  ASSERT_EQ(got["tcp.segment.count"].size(), 50u);
  for (const std::string& count : got["tcp.segment.count"]) EXPECT_GE(std::stoi(count), 5);
}

TEST_F(DissectorTest, PlaybackRecordsDecodeAsFarAsTheirHeader) {
  // Records of changing sizes, 10 ms apart, from one hour of record time on;
  // words 1 to 5 carry data, so the stream cannot pass for a Custom one.
  std::string file;
  std::vector<std::string> stamps, sizes, texts;
  for (int i = 0; i < 20; ++i) {
    const uint32_t size = 40 + 24 * static_cast<uint32_t>(i % 5);
    const int32_t stamp = 36'000'000 + 100 * i;
    std::vector<uint8_t> record(size, static_cast<uint8_t>(i));
    PutLe32(record, 0, size - 4);
    PutLe32(record, 24, static_cast<uint32_t>(stamp));
    file.append(record.begin(), record.end());
    if (i == 0) continue;  // the first record only sets the time reference
    stamps.push_back(std::to_string(stamp));
    sizes.push_back(std::to_string(size - 4));
    texts.push_back(driver::DataTimeText(14 * driver::kOneDayNs + int64_t{stamp} * 100'000));
  }
  testsupport::WriteWholeFile(dir_.file("rec.dat"), file);
  ChildProcess tool(YEBSTRESS_PATH,
                    {"/Playback", "KestCustom", "rec.dat", "/PortId", std::to_string(port_),
                     "/PlaybackSpeed", "10"},
                    dir_.path());
  ASSERT_TRUE(tool.waitForOutput("Blocked waiting for connect", 15s)) << tool.output();
  std::string reason;
  platform::TcpStream client = platform::ConnectTcp("127.0.0.1", port_, 5000, reason);
  ASSERT_TRUE(client.IsOpen()) << reason;
  uint8_t chunk[4096];
  const auto limit = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < limit) {
    platform::ReceiveResult r = client.Receive(chunk, sizeof chunk, 100);
    if (r.status != platform::ReceiveStatus::kData && r.status != platform::ReceiveStatus::kTimeout)
      break;
  }
  ASSERT_TRUE(tool.waitForOutput("File is Complete", 10s)) << tool.output();
  StopCapture();
  options_ = {"-o", "yeb.port:" + std::to_string(port_)};
  Fields got =
      Dissect({"yeb.greeting", "yeb.playback.size", "yeb.playback.stamp", "yeb.data_time"});
  EXPECT_EQ(got["yeb.greeting"], std::vector<std::string>{"0100000000"});
  EXPECT_EQ(got["yeb.playback.size"], sizes);
  EXPECT_EQ(got["yeb.playback.stamp"], stamps);
  EXPECT_EQ(got["yeb.data_time"], texts);
  EXPECT_EQ(texts.front(), "014:01:00:00.010");
  EXPECT_EQ(Experts(), "");
}

}  // namespace
