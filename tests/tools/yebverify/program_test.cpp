// The yebverify program against a small test server in this process that
// serves a reference stream, clean or with one deliberate fault.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/Socket.h"
#include "reference/ReferenceTool.h"
#include "support/ChildProcess.h"
#include "support/OutsideTools.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using yebverify_test::GetLe32;
using yebverify_test::PutFloat;
using yebverify_test::PutLe16;
using yebverify_test::PutLe32;
using yebverify_test::ReferenceConfig;
using yebverify_test::ReferenceTool;

using Edit = void (*)(std::vector<uint8_t>& packet, int number);

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = testsupport::FreeLoopbackPort();
    std::string reason;
    listener_ = platform::TcpListener::ListenLoopback(port_, reason);
    ASSERT_TRUE(listener_.IsOpen()) << reason;
  }

  // Runs yebverify against `packets` packets of `config`, each passed
  // through `edit`, and returns its exit status.
  int Verify(const ReferenceConfig& config, int packets, Edit edit,
             std::vector<std::string> extra = {}) {
    ReferenceTool tool(config);
    const std::string list = dir_.file(config.nep ? "NEP.xml" : "zarnYEB.prn");
    testsupport::WriteWholeFile(list, tool.ListText());
    std::vector<std::string> args = {"--port",        std::to_string(port_),
                                     "--list",        list,
                                     "--packet-rate", std::to_string(config.packetRate)};
    if (config.nep) args.insert(args.end(), {"--source", "nep"});
    if (config.superStress) args.push_back("--super-stress");
    args.insert(args.end(), extra.begin(), extra.end());
    ChildProcess child(YEBVERIFY_PATH, args);
    platform::TcpStream stream = listener_.Accept(10000);
    EXPECT_TRUE(stream.IsOpen());
    std::vector<uint8_t> bytes;
    if (!config.nep) bytes = tool.Greeting();
    for (int i = 1; i <= packets; ++i) {
      std::vector<uint8_t> p = tool.NextPacket();
      if (edit) edit(p, i);
      bytes.insert(bytes.end(), p.begin(), p.end());
    }
    stream.SendAll(bytes.data(), bytes.size());
    stream.Close();
    int status = child.waitForExit(20s);
    output_ = child.output();
    return status;
  }

  testsupport::TempDir dir_;
  int port_ = 0;
  platform::TcpListener listener_;
  std::string output_;
};

const ReferenceConfig kCustom{false, 50, false, 0, {50.0, 100.0, 10.0, 1000.0}};
const ReferenceConfig kNep{true, 200, true, 10, {200.0, 10.0, 1000.0}};

TEST_F(ProgramTest, CleanStreamsExitZero) {
  for (const ReferenceConfig& config : {kCustom, kNep}) {
    EXPECT_EQ(Verify(config, 120, nullptr), 0) << output_;
    EXPECT_NE(output_.find("yebverify: OK: 120 packets"), std::string::npos) << output_;
  }
}

struct ServedFault {
  const char* name;
  const char* named;  // what the output must say
  Edit edit;
};

const ServedFault kServedFaults[] = {
    {"skipped sequence number",
     "FAIL sequence: packet 30, offset 4: expected sequence number 30, found 31",
     [](std::vector<uint8_t>& p, int n) {
       if (n >= 30) {
         PutLe32(p, 4, static_cast<uint32_t>(n + 1));
         PutLe32(p, 8, static_cast<uint32_t>(n + 1));
       }
     }},
    {"value that does not rise",
     "FAIL value: packet 31, offset 1252: S01_Parm2 (tag 4): expected 60, found 59",
     [](std::vector<uint8_t>& p, int n) {
       if (n == 31) PutFloat(p, 1252, 59.0f);
     }},
    {"wrong tag",
     "FAIL tag: packet 12, offset 1244: tag 777 is not in the list (expected S01_Parm1 (tag 3))",
     [](std::vector<uint8_t>& p, int n) {
       if (n == 12) PutLe16(p, 1244, 777);
     }},
    {"short packet", "FAIL size: packet 40, offset 0: expected size word 1384, found 1372",
     [](std::vector<uint8_t>& p, int n) {
       if (n == 40) {
         p.resize(p.size() - 12);
         PutLe32(p, 0, static_cast<uint32_t>(p.size() - 4));
       }
     }},
    {"time word that jumps",
     "FAIL time-jump: packet 20, offset 48: the data time jumped by 0.5000 s (time word 8800, due "
     "3800)",
     [](std::vector<uint8_t>& p, int n) {
       if (n >= 20) {
         for (size_t at = 44; at < 44 + 1200; at += 12) {
           PutLe32(p, at + 4, GetLe32(p, at + 4) + 5000);
           PutLe32(p, at + 8, GetLe32(p, at + 8) + 5000);
         }
       }
     }},
};

class ServedFaultTest : public ProgramTest, public ::testing::WithParamInterface<ServedFault> {};

TEST_P(ServedFaultTest, FoundNamedAndExitOne) {
  EXPECT_EQ(Verify(kCustom, 60, GetParam().edit), 1) << output_;
  EXPECT_NE(output_.find(GetParam().named), std::string::npos) << output_;
  EXPECT_NE(output_.find("yebverify: FAILED: 1 failed checks"), std::string::npos) << output_;
}

INSTANTIATE_TEST_SUITE_P(Faults, ServedFaultTest, ::testing::ValuesIn(kServedFaults),
                         [](const ::testing::TestParamInfo<ServedFault>& info) {
                           std::string name;
                           for (const char* c = info.param.name; *c; ++c)
                             name += isalnum(*c) ? *c : '_';
                           return name;
                         });

TEST_F(ProgramTest, QuietJsonSummaryOnly) {
  EXPECT_EQ(Verify(kNep, 30, nullptr, {"--json", "--quiet"}), 0) << output_;
  EXPECT_EQ(output_.find("{\"type\":\"summary\""), 0u) << output_;
  EXPECT_NE(output_.find("\n{\"type\":\"verdict\",\"status\":0,"), std::string::npos) << output_;
}

// The settings from the tool's manifest alone: NEP at 200/s with super
// stress and a tag offset; the JSON lines go to a file and a JUnit report
// is written while the console keeps the human report.
TEST_F(ProgramTest, ManifestAloneChecksTheRunAndFeedsTheReports) {
  ReferenceTool tool(kNep);
  testsupport::WriteWholeFile(dir_.file("NEP.xml"), tool.ListText());
  const std::string manifest = dir_.file("run.json");
  const std::string runId(32, 'c');
  // Built as JSON, so that a Windows folder's backslashes are escaped.
  const nlohmann::json fields = {{"program", "yebstress"}, {"version", "1.0.0"},
                                 {"run_id", runId},        {"written", "2026-12-10T04:00:00.123Z"},
                                 {"source", "nep"},        {"packet_rate", 200},
                                 {"super_stress", true},   {"time_jump", false},
                                 {"time_gap", false},      {"tag_offset", 10},
                                 {"data_source", 0},       {"parm_prefix", "S01_"},
                                 {"list", "NEP.xml"},      {"address", "0.0.0.0"},
                                 {"port", port_},          {"parameters", 3},
                                 {"packet_bytes", 1},      {"fault_script", nullptr},
                                 {"signals", nullptr},     {"working_dir", dir_.path()}};
  testsupport::WriteWholeFile(manifest, fields.dump());
  std::filesystem::last_write_time(manifest,
                                   std::filesystem::last_write_time(dir_.file("NEP.xml")) + 1s);
  ChildProcess child(YEBVERIFY_PATH, {"--manifest", manifest, "--json-out", dir_.file("out.jsonl"),
                                      "--junit", dir_.file("junit.xml")});
  platform::TcpStream stream = listener_.Accept(10000);
  ASSERT_TRUE(stream.IsOpen());
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 120; ++i) {
    std::vector<uint8_t> p = tool.NextPacket();
    bytes.insert(bytes.end(), p.begin(), p.end());
  }
  stream.SendAll(bytes.data(), bytes.size());
  stream.Close();
  EXPECT_EQ(child.waitForExit(20s), 0) << child.output();
  EXPECT_NE(child.output().find("NEP stream from 127.0.0.1:" + std::to_string(port_)),
            std::string::npos)
      << child.output();
  EXPECT_NE(child.output().find("200 packets/s, super stress, run " + runId), std::string::npos);
  EXPECT_NE(child.output().find("yebverify: OK: 120 packets"), std::string::npos);
  const std::string lines = testsupport::ReadWholeFile(dir_.file("out.jsonl"));
  EXPECT_NE(lines.find("{\"type\":\"verdict\",\"status\":0,\"result\":\"ok\","), std::string::npos)
      << lines;
  EXPECT_NE(lines.find("\"run_id\":\"" + runId + "\"}\n"), std::string::npos);
  const std::string junit = testsupport::ReadWholeFile(dir_.file("junit.xml"));
  EXPECT_NE(junit.find("\" failures=\"0\" errors=\"0\""), std::string::npos) << junit;
}

TEST_F(ProgramTest, ASignalBeforeSecondsIsIncomplete) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: Windows has no signal to send to another process";
#else
  ReferenceTool tool(kCustom);
  testsupport::WriteWholeFile(dir_.file("zarnYEB.prn"), tool.ListText());
  ChildProcess child(YEBVERIFY_PATH, {"--port", std::to_string(port_), "--list",
                                      dir_.file("zarnYEB.prn"), "--seconds", "20"});
  platform::TcpStream stream = listener_.Accept(10000);
  ASSERT_TRUE(stream.IsOpen());
  std::vector<uint8_t> bytes = tool.Greeting();
  for (int i = 0; i < 30; ++i) {
    std::vector<uint8_t> p = tool.NextPacket();
    bytes.insert(bytes.end(), p.begin(), p.end());
  }
  stream.SendAll(bytes.data(), bytes.size());
  ASSERT_TRUE(child.waitForOutput("] packets 30 ", 10s)) << child.output();
  child.sendSignal(SIGTERM);
  EXPECT_EQ(child.waitForExit(10s), 1) << child.output();
  EXPECT_NE(child.output().find("yebverify: INCOMPLETE: stopped by a signal after "),
            std::string::npos)
      << child.output();
  EXPECT_NE(child.output().find(" s of --seconds 20\n"), std::string::npos) << child.output();
#endif
}

TEST(ProgramErrorsTest, UsageListAndConnectionErrorsExitTwo) {
  testsupport::TempDir dir;
  const std::string list = dir.file("zarnYEB.prn");
  testsupport::WriteWholeFile(list, ReferenceTool(kCustom).ListText());
  const std::string huge = dir.file("huge.prn");
  testsupport::WriteWholeFile(huge,
                              "1 TIME$_DAY 100.0 1\n2 TIME$_MILLISEC 10000.0 1\n"
                              "3 S01_Parm1 1e12 2\n");
  const std::string wide = dir.file("wide.prn");
  testsupport::WriteWholeFile(wide, "1 TIME$_DAY 100.0 1\n" + std::string(70000, 'x') + "\n");
  const int closedPort = testsupport::FreeLoopbackPort();
#ifdef _WIN32
  const char* kDevice = "NUL";
#else
  const char* kDevice = "/dev/zero";
#endif
  struct Case {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"--packet-rate", "60"},
       "yebverify: --packet-rate takes 50, 100 or 200 packets per second, not \"60\""},
      {{"--list", dir.file("missing.prn")}, "yebverify: error: cannot read the parameter list"},
      {{"--list", list, "--port", std::to_string(closedPort), "--connect-wait", "0"},
       "yebverify: error: cannot connect to 127.0.0.1:"},
      {{"--list", dir.path()}, "is not a regular file"},
      {{"--list", kDevice},
       std::string("yebverify: error: the parameter list ") + kDevice + " is not a regular"},
      {{"--list", wide}, "wide.prn: line 2 is longer than 65536 bytes"},
      {{"--list", huge}, "huge.prn gives packets of "},
  };
  for (const Case& c : cases) {
    ChildProcess child(YEBVERIFY_PATH, c.args);
    EXPECT_EQ(child.waitForExit(10s), 2);
    EXPECT_NE(child.output().find(c.says), std::string::npos) << child.output();
    // Nothing before the reason: no banner, no empty summary.
    EXPECT_EQ(child.output().rfind("yebverify: ", 0), 0u) << child.output();
    EXPECT_EQ(child.output().find("Summary"), std::string::npos) << child.output();
    // With --json the same error is a verdict line a script reads.
    std::vector<std::string> json = c.args;
    json.push_back("--json");
    ChildProcess jsonChild(YEBVERIFY_PATH, json);
    EXPECT_EQ(jsonChild.waitForExit(10s), 2);
    EXPECT_NE(jsonChild.output().find("{\"type\":\"verdict\",\"status\":2,\"result\":\"error\","),
              std::string::npos)
        << jsonChild.output();
  }
  ChildProcess version(YEBVERIFY_PATH, {"--version"});
  EXPECT_EQ(version.waitForExit(10s), 0);
  EXPECT_EQ(version.output().rfind("yebverify ", 0), 0u) << version.output();
  EXPECT_EQ(version.output().find('\n'), version.output().size() - 1) << version.output();
}

// A list that allows gigabyte packets costs nothing until one arrives: under
// a 1 GiB address-space limit the checker still starts and tries to connect.
TEST(ProgramErrorsTest, BuffersFollowWhatArrivesNotTheList) {
  SKIP_WITHOUT_OUTSIDE_TOOLS();
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#endif
  testsupport::TempDir dir;
  const std::string list = dir.file("zarnYEB.prn");
  testsupport::WriteWholeFile(list,
                              "1 TIME$_DAY 100.0 1\n2 TIME$_MILLISEC 10000.0 1\n"
                              "3 S01_Parm1 1e10 2\n");
  const std::string command = "ulimit -v 1048576; exec " + std::string(YEBVERIFY_PATH) +
                              " --list " + list + " --connect-wait 0 --port " +
                              std::to_string(testsupport::FreeLoopbackPort());
  ChildProcess child("/bin/sh", {"-c", command});
  EXPECT_EQ(child.waitForExit(10s), 2) << child.output();
  EXPECT_NE(child.output().find("yebverify: error: cannot connect to 127.0.0.1:"),
            std::string::npos)
      << child.output();
}

}  // namespace
