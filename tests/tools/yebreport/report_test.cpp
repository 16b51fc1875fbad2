// yebreport on a real run: the stress tool with a two-fault script and a
// statistics file, yebverify recording its JSON lines without the script
// (so that the faults come out as failures by kind), then the report read
// back by an HTML parser and opened in a headless browser.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/OutsideTools.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::TempDir;

const char* const kFaults = "# two faults, one a second apart\n1.2 drop 3\n2.5 duplicate 2\n";
const std::vector<std::string> kFigures = {"plot-rate", "plot-lateness", "plot-blocked",
                                           "plot-bytes", "plot-failures"};

bool Exists([[maybe_unused]] const std::string& path) {
#ifdef _WIN32
  return false;
#else
  return access(path.c_str(), X_OK) == 0;
#endif
}

std::string Python() { return Exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

// The run is recorded once for every case: it takes a few seconds of real
// streaming.
class ReportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#ifndef _WIN32
    dir_ = new TempDir();
    testsupport::WriteWholeFile(dir_->file("parmInfo.txt"), "10,50\n5,200\n2,1000\n");
    testsupport::WriteWholeFile(dir_->file("faults.txt"), kFaults);
    const int port = testsupport::FreeLoopbackPort();
    ChildProcess tool(YEBSTRESS_PATH,
                      {"/PortId", std::to_string(port), "/Bind", "127.0.0.1", "/Transfers", "1",
                       "/StatsFile", "stats.jsonl", "/FaultScript", "faults.txt"},
                      dir_->path());
    if (!tool.waitForOutput("Blocked waiting for connect", 15s)) return;
    ChildProcess verifier(YEBVERIFY_PATH,
                          {"--port", std::to_string(port), "--seconds", "4", "--quiet",
                           "--json-out", "verify.jsonl", "--max-late-ms", "500"},
                          dir_->path());
    verifier.waitForExit(30s);
    tool.waitForExit(15s);
    ChildProcess report(YEBREPORT_PATH,
                        {"stats.jsonl", "--verifier", "verify.jsonl", "--faults", "faults.txt",
                         "-o", "report.html"},
                        dir_->path());
    reportStatus_ = report.waitForExit(60s);
    reportOutput_ = report.output();
#endif
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  void SetUp() override {
    SKIP_WITHOUT_OUTSIDE_TOOLS();
    ASSERT_EQ(reportStatus_, 0) << reportOutput_;
  }

  // The run id, as the statistics file's start event holds it.
  static std::string RunId() {
    const std::string stats = testsupport::ReadWholeFile(dir_->file("stats.jsonl"));
    const std::string key = "\"run_id\":\"";
    const size_t at = stats.find(key);
    return at == std::string::npos ? "" : stats.substr(at + key.size(), 32);
  }

  static TempDir* dir_;
  static int reportStatus_;
  static std::string reportOutput_;
};

TempDir* ReportTest::dir_ = nullptr;
int ReportTest::reportStatus_ = -1;
std::string ReportTest::reportOutput_;

TEST_F(ReportTest, PageParsesWithOnePlotPerFigureAndOneMarkerPerFault) {
  const std::string stats = testsupport::ReadWholeFile(dir_->file("stats.jsonl"));
  size_t faults = 0;
  for (size_t at = stats.find("\"event\":\"fault\""); at != std::string::npos;
       at = stats.find("\"event\":\"fault\"", at + 1)) {
    ++faults;
  }
  ASSERT_EQ(faults, 2u) << stats;

  ChildProcess check(Python(), {SOURCE_DIR "/tests/tools/yebreport/check_report.py", "report.html"},
                     dir_->path());
  ASSERT_EQ(check.waitForExit(30s), 0) << check.output();
  std::istringstream lines(check.output());
  std::string title;
  std::vector<std::string> plots;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_NE(line.rfind("problem=", 0), 0u) << line;
    if (line.rfind("title=", 0) == 0) title = line.substr(6);
    if (line.rfind("plot=", 0) == 0) {
      const size_t colon = line.rfind(':');
      plots.push_back(line.substr(5, colon - 5));
      EXPECT_EQ(line.substr(colon + 1), "2") << "fault markers in " << plots.back();
    }
  }
  EXPECT_EQ(title, "yebstress run " + RunId());
  EXPECT_EQ(plots, kFigures);

  // What the verifier found shows as failures by kind, with its verdict.
  const std::string page = testsupport::ReadWholeFile(dir_->file("report.html"));
  EXPECT_NE(page.find("yebverify: FAILED: 2 failed checks (dropped 1, duplicated 1)"),
            std::string::npos);
  EXPECT_NE(page.find("<td>lateness p99 at most (ms)</td><td>500.0</td>"), std::string::npos);
  EXPECT_NE(page.find("<td>2.5 duplicate 2</td><td>fired</td>"), std::string::npos);
}

TEST_F(ReportTest, OpensInAHeadlessBrowserWithEveryPlotDecoded) {
  const std::string chromium = "/usr/bin/chromium";
  if (!Exists(chromium)) GTEST_SKIP() << "chromium is not installed (./test.sh installs it)";
  TempDir profile;
  // No network, no first-run work, a profile of its own: nothing the page
  // needs may come from outside the file.
  const std::vector<std::string> common = {"--headless",
                                           "--no-sandbox",
                                           "--disable-gpu",
                                           "--disable-quic",
                                           "--no-first-run",
                                           "--disable-background-networking",
                                           "--disable-component-update",
                                           "--disable-sync",
                                           "--user-data-dir=" + profile.path(),
                                           "--virtual-time-budget=5000"};
  const std::string url = "file://" + dir_->file("report.html");

  std::vector<std::string> dump = common;
  dump.insert(dump.end(), {"--dump-dom", url});
  ChildProcess dom(chromium, dump);
  ASSERT_EQ(dom.waitForExit(60s), 0) << dom.output();
  EXPECT_NE(dom.output().find("<title>yebstress run " + RunId() + "</title>"), std::string::npos);
  EXPECT_NE(dom.output().find("data-plots-decoded=\"5\""), std::string::npos)
      << "not every plot decoded";
  EXPECT_EQ(dom.output().find("<p class=\"broken\">"), std::string::npos);

  std::vector<std::string> shot = common;
  shot.insert(shot.end(),
              {"--window-size=1000,3000", "--screenshot=" + dir_->file("shot.png"), url});
  ChildProcess screenshot(chromium, shot);
  ASSERT_EQ(screenshot.waitForExit(60s), 0) << screenshot.output();
  EXPECT_EQ(testsupport::ReadWholeFile(dir_->file("shot.png")).substr(0, 8), "\x89PNG\r\n\x1a\n");
}

TEST_F(ReportTest, FileThatCannotBeReadIsNamed) {
  ChildProcess report(YEBREPORT_PATH, {"missing.jsonl", "-o", "out.html"}, dir_->path());
  EXPECT_EQ(report.waitForExit(30s), 2);
  EXPECT_NE(report.output().find(
                "yebreport: error: cannot read the statistics file missing.jsonl: No such file"),
            std::string::npos)
      << report.output();
}

}  // namespace
