// Both programs' /metrics scraped during a real run over real TCP: the text
// read by a Prometheus text-format parser of the test's own, counters that
// rise between scrapes, histograms whose buckets add up, and a port that is
// taken ending each program at start with the system's reason.
#include "metrics/Endpoint.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Socket.h"
#include "support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;

// One scrape: series ("name{labels}") to value, and each family's TYPE.
struct Scrape {
  std::map<std::string, double> values;
  std::map<std::string, std::string> types;
  std::string error;  // the first line that is not the text format
  double operator[](const std::string& series) const {
    auto found = values.find(series);
    return found == values.end() ? NAN : found->second;
  }
};

// The exposition format's lines: "# TYPE name kind", "# HELP ...", and
// "name[{label="value",...}] value".
Scrape Parse(const std::string& text) {
  Scrape scrape;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    if (line.rfind("# TYPE ", 0) == 0) {
      std::istringstream words(line.substr(7));
      std::string name, kind;
      words >> name >> kind;
      scrape.types[name] = kind;
      continue;
    }
    if (line[0] == '#') continue;
    size_t end = line.find('{');
    if (end != std::string::npos) {
      end = line.find('}', end);
      if (end == std::string::npos) {
        if (scrape.error.empty()) scrape.error = line;
        continue;
      }
      ++end;
    } else {
      end = line.find(' ');
    }
    const std::string series = line.substr(0, end);
    char* rest = nullptr;
    const std::string number = end < line.size() ? line.substr(end + 1) : "";
    const double value = std::strtod(number.c_str(), &rest);
    if (series.empty() || number.empty() || (*rest != '\0' && *rest != ' ')) {
      if (scrape.error.empty()) scrape.error = line;
      continue;
    }
    scrape.values[series] = value;
  }
  return scrape;
}

// GET /metrics; the body, or empty when the endpoint does not answer.
std::string Get(int port) {
  std::string reason;
  platform::TcpStream stream = platform::ConnectTcp("127.0.0.1", port, 2000, reason);
  if (!stream.IsOpen()) return {};
  const std::string request = "GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  if (!stream.SendAll(request.data(), request.size())) return {};
  std::string response;
  char buffer[4096];
  for (int reads = 0; reads < 1000; ++reads) {
    const platform::ReceiveResult got = stream.Receive(buffer, sizeof buffer, 2000);
    if (got.status != platform::ReceiveStatus::kData) break;
    response.append(buffer, got.bytes);
  }
  const size_t body = response.find("\r\n\r\n");
  return body == std::string::npos ? std::string() : response.substr(body + 4);
}

// Cumulative buckets never fall, the +Inf bucket is the count, and every
// observation of a run on pace lies below the last finite bound.
void ExpectConsistentHistogram(const Scrape& s, const std::string& name) {
  EXPECT_EQ(s.types.at(name), "histogram");
  double previous = 0;
  int buckets = 0;
  for (const auto& [series, value] : s.values) {
    if (series.rfind(name + "_bucket{", 0) != 0 || series.find("+Inf") != std::string::npos) {
      continue;
    }
    ++buckets;
    // The map orders "0.0001" < "0.0005" < ... < "2.5" as text, which is
    // the numeric order of these bounds too.
    EXPECT_GE(value, previous) << series;
    previous = value;
  }
  EXPECT_GT(buckets, 5) << name;
  EXPECT_EQ(s[name + "_bucket{le=\"+Inf\"}"], s[name + "_count"]) << name;
  EXPECT_GT(s[name + "_count"], 0) << name;
  EXPECT_GE(s[name + "_sum"], 0) << name;
}

// Every Prometheus query of the Grafana dashboard (panels and annotations).
std::vector<std::string> DashboardQueries() {
  const nlohmann::json dashboard = nlohmann::json::parse(
      testsupport::ReadWholeFile(SOURCE_DIR "/tools/grafana/yeb-dashboard.json"));
  std::vector<std::string> queries;
  for (const auto& panel : dashboard.at("panels")) {
    for (const auto& target : panel.at("targets")) queries.push_back(target.at("expr"));
  }
  for (const auto& annotation : dashboard.at("annotations").at("list")) {
    if (annotation.contains("expr")) queries.push_back(annotation.at("expr"));
  }
  return queries;
}

// The dashboard asks only for metrics the programs serve: each yeb_ name in
// a query, less a histogram's _bucket, is a family of one of the scrapes.
void ExpectDashboardNamesServedMetrics(const std::vector<const Scrape*>& scrapes) {
  std::set<std::string> families;
  for (const Scrape* s : scrapes) {
    for (const auto& [name, type] : s->types) families.insert(name);
  }
  const std::vector<std::string> queries = DashboardQueries();
  EXPECT_GE(queries.size(), 10u);
  const auto isNameChar = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  };
  for (const std::string& query : queries) {
    int named = 0;
    for (size_t at = query.find("yeb_"); at != std::string::npos; at = query.find("yeb_", at)) {
      size_t end = at;
      while (end < query.size() && isNameChar(query[end])) ++end;
      std::string name = query.substr(at, end - at);
      at = end;
      ++named;
      if (name.size() > 7 && name.compare(name.size() - 7, 7, "_bucket") == 0) {
        name.resize(name.size() - 7);
      }
      EXPECT_EQ(families.count(name), 1u) << name << " in " << query;
    }
    EXPECT_GT(named, 0) << query;
  }
}

TEST(MetricsEndpointTest,
     BothProgramsServeRisingCountersConsistentHistogramsAndTheDashboardsMetrics) {
  if (!metrics::EndpointBuilt()) GTEST_SKIP() << "this build has no metrics endpoint";
  testsupport::TempDir dir;
  testsupport::WriteWholeFile(dir.file("parmInfo.txt"), "20,100\n10,1000\n");
  testsupport::WriteWholeFile(dir.file("faults.txt"), "1.5 drop 2\n");
  const int port = testsupport::FreeLoopbackPort();
  const int toolMetrics = testsupport::FreeLoopbackPort();
  ChildProcess tool(
      YEBSTRESS_PATH,
      {"/PortId", std::to_string(port), "/Bind", "127.0.0.1", "/Transfers", "1", "/PacketRate", "5",
       "/FaultScript", "faults.txt", "/MetricsPort", std::to_string(toolMetrics)},
      dir.path());
  ASSERT_TRUE(tool.waitForOutput("Blocked waiting for connect", 15s)) << tool.output();
  EXPECT_NE(
      tool.output().find("- Metrics: http://127.0.0.1:" + std::to_string(toolMetrics) + "/metrics"),
      std::string::npos);
  const int verifyMetrics = testsupport::FreeLoopbackPort();
  ChildProcess verifier(YEBVERIFY_PATH,
                        {"--port", std::to_string(port), "--packet-rate", "200", "--seconds", "4",
                         "--quiet", "--metrics-port", std::to_string(verifyMetrics)},
                        dir.path());
  // Scrapes until `done` holds of the tool's figures (bounded: 15 s).
  const auto scrapeUntil = [&](const auto& done) {
    Scrape s;
    for (int i = 0; i < 150; ++i) {
      s = Parse(Get(toolMetrics));
      if (done(s)) break;
      tool.waitForOutput("\x01never printed", 100ms);
    }
    return s;
  };
  const Scrape toolFirst = scrapeUntil([](const Scrape& s) { return s["yeb_cycles_total"] >= 1; });
  const Scrape verifyFirst = Parse(Get(verifyMetrics));
  // Two cycles later the drop at 1.5 s has been sent and seen.
  const double cyclesFirst = toolFirst["yeb_cycles_total"];
  const Scrape toolLater =
      scrapeUntil([&](const Scrape& s) { return s["yeb_cycles_total"] >= cyclesFirst + 2; });
  const Scrape verifyLater = Parse(Get(verifyMetrics));
  EXPECT_EQ(verifier.waitForExit(30s), 1) << verifier.output();  // the drop is a failure

  for (const Scrape* s : {&toolFirst, &toolLater, &verifyFirst, &verifyLater}) {
    EXPECT_EQ(s->error, "");
  }
  EXPECT_EQ(toolLater.types.at("yeb_sent_packets_total"), "counter");
  for (const char* counter : {"yeb_sent_packets_total", "yeb_sent_bytes_total", "yeb_cycles_total",
                              "yeb_packet_lateness_seconds_count"}) {
    EXPECT_GT(toolFirst[counter], 0) << counter;
    EXPECT_GT(toolLater[counter], toolFirst[counter]) << counter;
  }
  EXPECT_EQ(toolLater["yeb_transfers_total"], 1);
  EXPECT_EQ(toolLater["yeb_nominal_packets_per_second"], 200);
  EXPECT_EQ(toolLater["yeb_faults_injected_total{action=\"drop\"}"], 1);
  // Every packet of a completed cycle is in the histogram.
  EXPECT_EQ(toolLater["yeb_packet_lateness_seconds_count"], toolLater["yeb_sent_packets_total"]);
  EXPECT_GT(toolLater["yeb_data_time_seconds"], toolFirst["yeb_data_time_seconds"]);
  ExpectConsistentHistogram(toolLater, "yeb_packet_lateness_seconds");

  for (const char* counter :
       {"yeb_verify_received_packets_total", "yeb_verify_checked_samples_total",
        "yeb_verify_received_bytes_total"}) {
    EXPECT_GT(verifyLater[counter], verifyFirst[counter]) << counter;
  }
  EXPECT_EQ(verifyLater["yeb_verify_failures_total{kind=\"dropped\"}"], 1);
  EXPECT_EQ(verifyLater["yeb_verify_packet_lateness_seconds_count"],
            verifyLater["yeb_verify_received_packets_total"]);
  EXPECT_GT(verifyLater["yeb_verify_steady_packets_per_second"], 150);
  ExpectConsistentHistogram(verifyLater, "yeb_verify_packet_lateness_seconds");
  ExpectDashboardNamesServedMetrics({&toolLater, &verifyLater});
}

TEST(MetricsEndpointTest, PortTakenEndsEitherProgramAtStartWithTheReason) {
  if (!metrics::EndpointBuilt()) GTEST_SKIP() << "this build has no metrics endpoint";
  testsupport::TempDir dir;
  testsupport::WriteWholeFile(dir.file("parmInfo.txt"), "2,50\n");
  platform::SocketStatus status;
  platform::Socket taken = platform::Socket::OpenTcp(status);
  ASSERT_TRUE(taken.Bind({platform::kLoopbackIp, 0}).ok());
  ASSERT_TRUE(taken.Listen(1).ok());
  const std::string port = std::to_string(taken.LocalPort());
  const std::string reason = "cannot serve the metrics on 127.0.0.1:" + port + ": bind: ";

  ChildProcess tool(YEBSTRESS_PATH, {"/PortId", "0", "/MetricsPort", port}, dir.path());
  tool.closeInput();
  EXPECT_EQ(tool.waitForExit(15s), 1);
  EXPECT_NE(
      tool.output().find("** Error - Unable to serve the metrics (/MetricsPort) - quiting...\n"
                         "  " +
                         reason),
      std::string::npos)
      << tool.output();
  EXPECT_EQ(tool.output().find("1. Process"), std::string::npos) << "the run went on";

  ChildProcess verifier(YEBVERIFY_PATH, {"--metrics-port", port, "--list", "none.prn"}, dir.path());
  EXPECT_EQ(verifier.waitForExit(15s), 2);
  EXPECT_NE(verifier.output().find("yebverify: error: " + reason), std::string::npos)
      << verifier.output();
}

}  // namespace
