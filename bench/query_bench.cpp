// The statement engine against SQLite (an in-memory database) doing the same
// work on the same rows, timed in the same iteration so that the counter
// "x_sqlite" (engine time / SQLite time) compares like with like:
//
// - Insert: 100,000 "update ParameterDefaults set * = ... where 0" statements
//   and a commit, against 100,000 textual INSERT statements of the same
//   69-column rows in one transaction (and, as "x_prepared", one prepared
//   INSERT run 100,000 times).
// - Keyed select: "select Parameter, UpdateRate from ParameterDefaults where
//   Parameter = 'Parm5000'" over 100,000 rows, without and with the engine's
//   primary-key index ("sort table ... on Parameter"), against the same
//   SELECT without and with an index on the column.
// - Full select: "select UpdateRate, DataSourceType from ParameterDefaults"
//   over 10,000, 100,000 and 262,144 rows: nanoseconds per row ("ns_row").
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "BenchSupport.h"
#include "artefacts/DefaultConfigText.h"
#include "platform/DebugOutput.h"
#include "query/tSqlQueryEngine.h"
#include "templatelib/tConfigSource.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The statement the configuration builder issues for parameter n.
std::string InsertStatement(int n, double rate) {
  char text[512];
  std::snprintf(text, sizeof text,
                "update ParameterDefaults set * = PS1|Parm%d|float|Group|SubGroup|Parm%d|Parm%d||||"
                "TPP||%f|||||||||||||||||||||||||||||||||||||||||||||||||||||||| where 0",
                n, n, n, rate);
  return text;
}

class Database {
 public:
  Database() {
    sqlite3_open(":memory:", &db_);
    std::string create = "CREATE TABLE ParameterDefaults (c0";
    for (int i = 1; i < 69; ++i) create += ",c" + std::to_string(i);
    create += ")";
    Exec(create.c_str());
  }
  ~Database() { sqlite3_close(db_); }
  void Exec(const char* sql) { sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }
  sqlite3* handle() { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

struct Quiet {
  Quiet() {
    platform::SetDebugSink([](std::string_view) {});
  }
};

// A loaded default configuration with `rows` ParameterDefaults rows.
struct EngineTable {
  explicit EngineTable(int rows) {
    static Quiet quiet;
    char pattern[] = "/tmp/query_bench.XXXXXX";
    folder = mkdtemp(pattern);
    const std::string path = folder + "/bench.config";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fputs(schema::GetDefaultConfigText().c_str(), file);
    std::fclose(file);
    source.LoadAttributesFromFile(path.c_str());
    engine = std::make_unique<tSqlQueryEngine>(&source);
    for (int i = 0; i < rows; ++i) engine->Query(InsertStatement(i + 1, 50.0).c_str());
    source.CommitAllTables();
    std::remove(path.c_str());
    std::remove(folder.c_str());
  }
  std::string folder;
  tConfigSource source;
  std::unique_ptr<tSqlQueryEngine> engine;
};

// SQLite filled with the same rows through one prepared statement.
void FillSqlite(Database& db, int rows) {
  db.Exec("BEGIN");
  std::string sql = "INSERT INTO ParameterDefaults VALUES (?";
  for (int i = 1; i < 69; ++i) sql += ",?";
  sql += ")";
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db.handle(), sql.c_str(), -1, &insert, nullptr);
  for (int i = 0; i < rows; ++i) {
    const std::string name = "Parm" + std::to_string(i + 1);
    for (int c = 1; c <= 69; ++c) sqlite3_bind_text(insert, c, "", -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 1, "PS1", -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 11, "TPP", -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 13, "50.000000", -1, SQLITE_STATIC);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  db.Exec("COMMIT");
}

void BM_InsertThroughUpdateStatements(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  double engineSeconds = 0, sqliteSeconds = 0, preparedSeconds = 0;
  for (auto _ : state) {
    {
      EngineTable table(0);
      auto start = Clock::now();
      for (int i = 0; i < rows; ++i) table.engine->Query(InsertStatement(i + 1, 50.0).c_str());
      table.source.CommitAllTables();
      engineSeconds += SecondsSince(start);
    }
    {
      Database db;
      auto start = Clock::now();
      db.Exec("BEGIN");
      for (int i = 0; i < rows; ++i) {
        const std::string sql = "INSERT INTO ParameterDefaults VALUES (" +
                                benchsupport::SqliteParameterValues(i + 1, 50.0) + ")";
        db.Exec(sql.c_str());
      }
      db.Exec("COMMIT");
      sqliteSeconds += SecondsSince(start);
    }
    {
      Database db;
      auto start = Clock::now();
      FillSqlite(db, rows);
      preparedSeconds += SecondsSince(start);
    }
  }
  const double n = double(state.iterations());
  state.counters["stmts_per_s"] = rows / (engineSeconds / n);
  state.counters["sqlite_per_s"] = rows / (sqliteSeconds / n);
  state.counters["x_sqlite"] = engineSeconds / sqliteSeconds;
  state.counters["x_prepared"] = engineSeconds / preparedSeconds;
}
BENCHMARK(BM_InsertThroughUpdateStatements)
    ->Arg(100000)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->ReportAggregatesOnly(true);

void KeyedSelect(benchmark::State& state, bool indexed) {
  constexpr int kRows = 100000;
  static EngineTable* table = new EngineTable(kRows);
  static Database* db = [] {
    auto* made = new Database();
    made->Exec("BEGIN");
    for (int i = 0; i < kRows; ++i) {
      made->Exec(("INSERT INTO ParameterDefaults VALUES (" +
                  benchsupport::SqliteParameterValues(i + 1, 50.0) + ")")
                     .c_str());
    }
    made->Exec("COMMIT");
    return made;
  }();
  if (indexed) {
    table->engine->Query("sort table ParameterDefaults on Parameter");
    db->Exec("CREATE INDEX IF NOT EXISTS byName ON ParameterDefaults (c1)");
  } else {
    table->engine->Query("sort table ParameterDefaults on System.RowNumber");  // not on Parameter
    db->Exec("DROP INDEX IF EXISTS byName");
  }
  sqlite3_stmt* select = nullptr;
  sqlite3_prepare_v2(db->handle(), "SELECT c1, c12 FROM ParameterDefaults WHERE c1 = 'Parm5000'",
                     -1, &select, nullptr);
  tQueryString results;
  double engineSeconds = 0, sqliteSeconds = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    table->engine->Query(
        "select Parameter, UpdateRate from ParameterDefaults where Parameter = 'Parm5000'",
        &results);
    engineSeconds += SecondsSince(start);
    if (results.lineCount != 1) state.SkipWithError("wrong result");
    start = Clock::now();
    while (sqlite3_step(select) == SQLITE_ROW)
      benchmark::DoNotOptimize(sqlite3_column_text(select, 1));
    sqlite3_reset(select);
    sqliteSeconds += SecondsSince(start);
  }
  sqlite3_finalize(select);
  const double n = double(state.iterations());
  state.counters["engine_us"] = engineSeconds / n * 1e6;
  state.counters["sqlite_us"] = sqliteSeconds / n * 1e6;
  state.counters["x_sqlite"] = engineSeconds / sqliteSeconds;
}
void BM_KeyedSelectScan(benchmark::State& state) { KeyedSelect(state, false); }
void BM_KeyedSelectIndexed(benchmark::State& state) { KeyedSelect(state, true); }
BENCHMARK(BM_KeyedSelectScan)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_KeyedSelectIndexed)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_FullSelect(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  EngineTable table(rows);
  Database db;
  FillSqlite(db, rows);
  sqlite3_stmt* select = nullptr;
  sqlite3_prepare_v2(db.handle(), "SELECT c12, c10 FROM ParameterDefaults", -1, &select, nullptr);
  tQueryString results;
  std::string line;
  double seconds = 0, sqliteSeconds = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    table.engine->Query("select UpdateRate, DataSourceType from ParameterDefaults", &results);
    seconds += SecondsSince(start);
    if (results.lineCount != rows) state.SkipWithError("wrong result");
    // The baseline builds the same lines from SQLite's rows.
    start = Clock::now();
    while (sqlite3_step(select) == SQLITE_ROW) {
      line.assign(reinterpret_cast<const char*>(sqlite3_column_text(select, 0)));
      line += '|';
      line += reinterpret_cast<const char*>(sqlite3_column_text(select, 1));
      benchmark::DoNotOptimize(line.data());
    }
    sqlite3_reset(select);
    sqliteSeconds += SecondsSince(start);
  }
  sqlite3_finalize(select);
  const double perRow = seconds / double(state.iterations()) / rows;
  state.counters["ns_row"] = perRow * 1e9;
  state.counters["sqlite_ns_row"] = sqliteSeconds / double(state.iterations()) / rows * 1e9;
  state.counters["x_sqlite"] = seconds / sqliteSeconds;
}
BENCHMARK(BM_FullSelect)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(262144)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
