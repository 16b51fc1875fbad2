// Foundation types against the standard library doing the same work:
// - the hash index: add then find 1,000,000 distinct keys, against an
//   unordered_map whose keys are case-folded the same way;
// - the formatted assign of a 69-field update row, against snprintf into a
//   std::string;
// - queue push/pop, against a mutex-guarded std::deque.
// Report the ratios of the medians (run with --benchmark_repetitions=5
// --benchmark_report_aggregates_only=true).

#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "templatelib/tHash.h"
#include "templatelib/tLockedQueue.h"
#include "templatelib/tString.h"

namespace {

constexpr int kKeys = 1'000'000;

const std::vector<std::string>& Keys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> made;
    made.reserve(kKeys);
    char buffer[64];
    for (int i = 0; i < kKeys; ++i) {
      std::snprintf(buffer, sizeof buffer, "Parm%07d|Row-%d", i,
                    static_cast<int>((int64_t{i} * 7919) % 100000));
      made.emplace_back(buffer);
    }
    return made;
  }();
  return keys;
}

void BM_tHashAddThenFind(benchmark::State& state) {
  const std::vector<std::string>& keys = Keys();
  for (auto _ : state) {
    tHash hash;
    hash.Size(kKeys);
    for (const std::string& key : keys) {
      hash.Add(key.c_str(), const_cast<std::string*>(&key), false, false, nullptr);
    }
    size_t found = 0;
    for (const std::string& key : keys) found += hash.Find(key.c_str()) != nullptr;
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_tHashAddThenFind)->Unit(benchmark::kMillisecond);

std::string Folded(const std::string& key) {
  std::string upper(key);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

void BM_BaselineUnorderedMapFoldedKeys(benchmark::State& state) {
  const std::vector<std::string>& keys = Keys();
  for (auto _ : state) {
    std::unordered_map<std::string, void*> map;
    map.reserve(kKeys);
    for (const std::string& key : keys) map.emplace(Folded(key), const_cast<std::string*>(&key));
    size_t found = 0;
    for (const std::string& key : keys) found += map.find(Folded(key)) != map.end();
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_BaselineUnorderedMapFoldedKeys)->Unit(benchmark::kMillisecond);

// The update statement the configuration builder formats once per
// parameter: 69 fields.
constexpr char kRowFormat[] =
    "update ParameterDefaults set * = "
    "PS1|Parm%d|float|Group|SubGroup|Parm%d|Parm%d||||TPP||%f||||||||||||||||||||||||||||||||||||||"
    "|||||||||||||||||| where 0";

void BM_tStringFormatRow(benchmark::State& state) {
  tString row;
  int n = 0;
  for (auto _ : state) {
    ++n;
    row.Format(kRowFormat, n, n, n, 100.0 + n);
    benchmark::DoNotOptimize(row.Text());
  }
}
BENCHMARK(BM_tStringFormatRow);

void BM_BaselineSnprintfRow(benchmark::State& state) {
  std::string row(512, '\0');
  int n = 0;
  for (auto _ : state) {
    ++n;
    int written = std::snprintf(row.data(), row.size(), kRowFormat, n, n, n, 100.0 + n);
    benchmark::DoNotOptimize(written);
    benchmark::DoNotOptimize(row.data());
  }
}
BENCHMARK(BM_BaselineSnprintfRow);

constexpr int kQueueBatch = 1024;

void BM_tLockedQueuePushPop(benchmark::State& state) {
  tLockedQueue<int> queue(65536, false, false, false);
  int value = 0;
  for (auto _ : state) {
    for (int i = 0; i < kQueueBatch; ++i) queue.Push(&value);
    for (int i = 0; i < kQueueBatch; ++i) benchmark::DoNotOptimize(queue.Pop());
  }
  state.SetItemsProcessed(state.iterations() * kQueueBatch);
}
BENCHMARK(BM_tLockedQueuePushPop);

void BM_BaselineMutexDequePushPop(benchmark::State& state) {
  std::deque<int*> queue;
  std::mutex mutex;
  int value = 0;
  for (auto _ : state) {
    for (int i = 0; i < kQueueBatch; ++i) {
      std::lock_guard lock(mutex);
      queue.push_back(&value);
    }
    for (int i = 0; i < kQueueBatch; ++i) {
      std::lock_guard lock(mutex);
      int* item = queue.front();
      queue.pop_front();
      benchmark::DoNotOptimize(item);
    }
  }
  state.SetItemsProcessed(state.iterations() * kQueueBatch);
}
BENCHMARK(BM_BaselineMutexDequePushPop);

}  // namespace

BENCHMARK_MAIN();
