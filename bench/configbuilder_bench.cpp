// The configuration builder at 10,000, 100,000 and 262,144 parameters,
// against SQLite running the same number of textual INSERT statements of the
// same rows (in memory, one transaction) in the same iteration; and the
// stress tool from start to listening with 262,144 parameters, against the
// same program with one parameter.
//
// BM_BuildConfigFile's time is the builder's alone (manual time). Counters:
//   statements_per_s         the builder's statements (parameters + 4) per second
//   sqlite_statements_per_s  SQLite's inserts per second
//   x_sqlite                 SQLite's time / the builder's (above 1: faster)
//   us_per_parameter         build time per parameter (flat means linear)
//   peak_x_file              growth of the peak resident size / saved file size
// Run with --benchmark_repetitions=3 and read the medians.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "artefacts/ConfigFileBuilder.h"
#include "artefacts/DefaultConfigText.h"
#include "artefacts/DefaultTableTemplates.h"
#include "packet/ParmTable.h"
#include "templatelib/tAttribute.h"

namespace {

using benchsupport::FileSize;
using benchsupport::ResetPeak;
using benchsupport::StatusKb;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A scratch folder, also the temp folder of the saves (the ring's names are
// fixed), removed with its files at the end.
class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/configbuilder_bench.XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made != nullptr ? made : "/tmp";
    setenv("TMPDIR", path_.c_str(), 1);
  }
  ~ScratchFolder() {
    for (const char* name : {"zarnYEB.config", "zarnYEB.tmp0", "zarnYEB.tmp1", "parmInfo.txt",
                             "YEBFiles/zarnYEB.config", "YEBFiles/zarnYEB.prn"}) {
      std::remove((path_ + "/" + name).c_str());
    }
    std::remove((path_ + "/YEBFiles").c_str());
    std::remove(path_.c_str());
  }
  std::string file(const char* name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

ScratchFolder& Scratch() {
  static ScratchFolder folder;
  return folder;
}

// Rates as a parameter file of mixed rates gives them.
double RateOf(int i) {
  static const double kRates[] = {50.0, 12.5, 200.0, 1000.0, 1.0};
  return kRates[i % 5];
}

// The SQLite side: the five tables the builder fills (same columns), then
// the same four fixed rows and one row per parameter as textual INSERTs.
std::string CreateTable(const char* name) {
  for (const schema::TableTemplate& t : schema::DefaultTableTemplates()) {
    if (std::strcmp(t.name, name) != 0) continue;
    std::string sql = "CREATE TABLE \"" + std::string(name) + "\" (";
    std::string columns = t.columns;
    size_t start = 0;
    for (;;) {
      const size_t bar = columns.find('|', start);
      sql += "\"" + columns.substr(start, bar - start) + "\" TEXT";
      if (bar == std::string::npos) break;
      sql += ", ";
      start = bar + 1;
    }
    return sql + ")";
  }
  return "";
}

std::string ParameterInsert(int32_t n, double rate) {
  return "INSERT INTO ParameterDefaults VALUES(" + benchsupport::SqliteParameterValues(n, rate) +
         ")";
}

// Seconds for the inserts; negative on an SQLite error.
double RunSqlite(int count) {
  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK) return -1;
  bool ok = true;
  auto exec = [&](const std::string& sql) {
    ok = ok && sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  };
  for (const char* table :
       {"AnalysisWindows", "Desktops", "Users", "ParameterDefaultsState", "ParameterDefaults"}) {
    exec(CreateTable(table));
  }
  const auto start = Clock::now();
  exec("BEGIN");
  exec(
      "INSERT INTO AnalysisWindows VALUES('Window1','0.0','0.0','0.857','0.938',"
      "'This window has NOT been classified','Normal','','','','')");
  exec("INSERT INTO Desktops VALUES('Group','SubGroup','Desktop1','Window1','')");
  exec("INSERT INTO Users VALUES('User1','','NewDesktop','','','')");
  exec("INSERT INTO ParameterDefaultsState VALUES('PS1','','True','')");
  for (int i = 0; i < count; ++i) exec(ParameterInsert(i + 1, RateOf(i)));
  exec("COMMIT");
  const double seconds = SecondsSince(start);
  sqlite3_close(db);
  return ok ? seconds : -1;
}

void BM_BuildConfigFile(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  static packet::ParmTable table;
  table.parmCount = 0;
  for (int i = 0; i < count; ++i) table.records[table.parmCount++].sampleRate = RateOf(i);
  const std::string path = Scratch().file(artefacts::kConfigFileName);

  double buildSeconds = 0, sqliteSeconds = 0, peakRatio = 0;
  for (auto _ : state) {
    // The previous tree is gone and its memory back with the system before
    // we measure, so the growth is this build's alone.
    AttributePool().StopDeleter();
    malloc_trim(0);
    const int64_t before = StatusKb("VmRSS:");
    ResetPeak();
    const auto start = Clock::now();
    const bool built = artefacts::BuildConfigFileAt(path, schema::GetDefaultConfigText(), table, 0);
    const double seconds = SecondsSince(start);
    if (!built) {
      state.SkipWithError("build failed");
      return;
    }
    state.SetIterationTime(seconds);
    peakRatio = static_cast<double>(StatusKb("VmHWM:") - before) * 1024.0 /
                static_cast<double>(FileSize(path));
    AttributePool().StopDeleter();
    const double sqlite = RunSqlite(count);
    if (sqlite < 0) {
      state.SkipWithError("sqlite failed");
      return;
    }
    buildSeconds += seconds;
    sqliteSeconds += sqlite;
  }
  const double statements =
      static_cast<double>(count + 4) * static_cast<double>(state.iterations());
  state.counters["statements_per_s"] = statements / buildSeconds;
  state.counters["sqlite_statements_per_s"] = statements / sqliteSeconds;
  state.counters["x_sqlite"] = sqliteSeconds / buildSeconds;
  state.counters["us_per_parameter"] =
      buildSeconds * 1e6 / (static_cast<double>(count) * static_cast<double>(state.iterations()));
  state.counters["peak_x_file"] = peakRatio;
  state.counters["file_MB"] = static_cast<double>(FileSize(path)) / 1e6;
}

// A loopback port that was free a moment ago.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

// Seconds from starting yebstress on `parmInfo` to its "Blocked waiting"
// line; negative when it does not get there in 60 s.
double SecondsToListening(const char* parmInfo) {
  ScratchFolder& scratch = Scratch();
  std::ofstream(scratch.file("parmInfo.txt"), std::ios::binary) << parmInfo;
  const std::string port = std::to_string(FreePort());
  int out[2];
  if (pipe(out) != 0) return -1;
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    if (chdir(scratch.path().c_str()) != 0) _exit(127);
    execl(YEBSTRESS_PATH, YEBSTRESS_PATH, "/PortId", port.c_str(), nullptr);
    _exit(127);
  }
  close(out[1]);
  std::string seen;
  char chunk[4096];
  double seconds = -1;
  while (SecondsSince(start) < 60) {
    const ssize_t n = read(out[0], chunk, sizeof chunk);
    if (n <= 0) break;
    seen.append(chunk, static_cast<size_t>(n));
    if (seen.find("Blocked waiting") != std::string::npos) {
      seconds = SecondsSince(start);
      break;
    }
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(out[0]);
  return seconds;
}

void BM_YebstressToListening(benchmark::State& state) {
  double full = 0, one = 0;
  for (auto _ : state) {
    const double seconds = SecondsToListening("262144,1\n");
    const double baseline = SecondsToListening("1,1\n");
    if (seconds < 0 || baseline < 0) {
      state.SkipWithError("yebstress did not get to listening");
      return;
    }
    state.SetIterationTime(seconds);
    full += seconds;
    one += baseline;
  }
  state.counters["one_parameter_s"] = one / static_cast<double>(state.iterations());
  state.counters["x_one_parameter"] = full / one;
}

}  // namespace

BENCHMARK(BM_BuildConfigFile)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(262144)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_YebstressToListening)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
