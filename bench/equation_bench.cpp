// evaluateEquation on the one-comparison clause "Parameter = 'Parm5000'"
// over 100,000 row texts shaped like ParameterDefaults rows, against a
// baseline that finds the same field span and strncmp's it with the
// constant. Report the ratio of the medians (run with
// --benchmark_repetitions=5 --benchmark_report_aggregates_only=true).

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "query/tSqlEquationEngine.h"

namespace {

constexpr int kRows = 100000;

const std::vector<std::string>& Rows() {
  static const std::vector<std::string> rows = [] {
    std::vector<std::string> made;
    made.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
      std::string n = std::to_string(i);
      made.push_back("PS1|Parm" + n + "|float|Group|SubGroup|Parm" + n + "|Parm" + n +
                     "||||TPP||100.000000|");
    }
    return made;
  }();
  return rows;
}

void BM_EvaluateEquation(benchmark::State& state) {
  const std::vector<std::string>& rows = Rows();
  tSqlEquationEngine engine;
  engine.SetColumns("ParmSet|Parameter|ParamType|Group|SubGroup|Name|Alias|A|B|C|Units|D|Rate|E",
                    "String|String|String|String|String|String|String|String|String|String|"
                    "String|String|Float|String");
  if (engine.setEquation("Parameter = 'Parm5000'") != 1) state.SkipWithError("clause refused");
  for (auto _ : state) {
    int matches = 0;
    for (const std::string& row : rows) {
      engine.SetRow(row.c_str());
      matches += engine.evaluateEquation();
    }
    benchmark::DoNotOptimize(matches);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_EvaluateEquation)->Unit(benchmark::kMicrosecond);

// The least any evaluation must do: find field 1 and compare it.
void BM_FieldSpanStrcmp(benchmark::State& state) {
  const std::vector<std::string>& rows = Rows();
  const char* constant = "Parm5000";
  const size_t constantLength = std::strlen(constant);
  for (auto _ : state) {
    int matches = 0;
    for (const std::string& row : rows) {
      const char* field = std::strchr(row.c_str(), '|') + 1;
      size_t length = std::strcspn(field, "|");
      matches += length == constantLength && std::strncmp(field, constant, length) == 0;
    }
    benchmark::DoNotOptimize(matches);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_FieldSpanStrcmp)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
