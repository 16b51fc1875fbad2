// configsql as a program against the sqlite3 shell, timed in the same run:
//
// - Import: ".import" of one 100,000-row CSV file into the 69-column
//   ParameterDefaults table of a default configuration, against the
//   sqlite3 shell's ".import --csv" of the same file into an in-memory
//   table; "x_sqlite" is configsql's time over sqlite3's. The shells' start
//   and (for configsql) the load of the configuration are in both times.
// - Dump: ".dump ParameterDefaults" of 262,144 rows to /dev/null: seconds
//   and MB/s, with the time of the same run without the dump (load only)
//   taken off.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BenchSupport.h"
#include "artefacts/DefaultConfigText.h"
#include "artefacts/DefaultTableTemplates.h"

namespace {

using Clock = std::chrono::steady_clock;

double TimeCommand(const std::string& command) {
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

// The header names ParameterDefaults' columns; row n as the builder fills it.
std::string ParameterCsv(int rows) {
  std::string csv;
  for (const auto& table : schema::DefaultTableTemplates()) {
    if (std::string(table.name) != "ParameterDefaults") continue;
    for (const char* c = table.columns; *c != '\0'; ++c) csv += *c == '|' ? ',' : *c;
  }
  csv += '\n';
  for (int n = 1; n <= rows; ++n) {
    char row[256];
    std::snprintf(row, sizeof row, "PS1,Parm%d,float,Group,SubGroup,Parm%d,Parm%d,,,,TPP,,%f", n, n,
                  n, 50.0 + n % 7);
    csv += row;
    for (int i = 13; i < 69; ++i) csv += ',';
    csv += '\n';
  }
  return csv;
}

const std::string kDir = "/tmp/configsql_bench";

void BM_Import(benchmark::State& state) {
  std::system(("mkdir -p " + kDir).c_str());
  WriteFile(kDir + "/rows.csv", ParameterCsv(100000));
  const std::string config = kDir + "/import.config";
  for (auto _ : state) {
    WriteFile(config, schema::GetDefaultConfigText());
    const double ours = TimeCommand(std::string(CONFIGSQL_PATH) + " " + config + " '.import " +
                                    kDir + "/rows.csv ParameterDefaults' 2>/dev/null");
    const double sqlite = TimeCommand("sqlite3 :memory: '.import --csv " + kDir +
                                      "/rows.csv t' 'select count(*) from t' >/dev/null");
    state.SetIterationTime(ours);
    state.counters["s_configsql"] = ours;
    state.counters["s_sqlite3"] = sqlite;
    state.counters["x_sqlite"] = ours / sqlite;
  }
}
BENCHMARK(BM_Import)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);

void BM_Dump(benchmark::State& state) {
  std::system(("mkdir -p " + kDir).c_str());
  const std::string config = kDir + "/big.config";
  WriteFile(kDir + "/big.csv", ParameterCsv(262144));
  WriteFile(config, schema::GetDefaultConfigText());
  TimeCommand(std::string(CONFIGSQL_PATH) + " " + config + " '.import " + kDir +
              "/big.csv ParameterDefaults' .save >/dev/null");
  const std::string dump = kDir + "/big.sql";
  for (auto _ : state) {
    const double loadOnly =
        TimeCommand(std::string(CONFIGSQL_PATH) + " " + config + " .changes >/dev/null");
    const double withDump = TimeCommand(std::string(CONFIGSQL_PATH) + " " + config + " '.once " +
                                        dump + "' '.dump ParameterDefaults'");
    const double seconds = withDump - loadOnly;
    const double megabytes = static_cast<double>(benchsupport::FileSize(dump)) / 1e6;
    state.SetIterationTime(seconds);
    state.counters["s_dump"] = seconds;
    state.counters["MB"] = megabytes;
    state.counters["MB_per_s"] = megabytes / seconds;
  }
}
BENCHMARK(BM_Dump)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
