// Packet build rate with signals against the counter build, same table,
// same run: the whole 262,144-parameter table at 1,000 samples per second,
// Custom at 200 packets per second (1,310,720 samples a packet). Compare
// the "samples/s" counter of each signals case with BM_CounterBuild's.
//   Sine:  every parameter a sine of one period (1,000 samples, tabled)
//   Mix:   nine rate groups of 29,127 parameters (200 to 1,800 samples per
//          second, 1,000 on average), one pattern each, counter included
//
// The value log: 1,000 parameters at 1,000 samples per second (5,000
// samples a packet at 200 packets per second), every one a sine and every
// one logged, written to a file and flushed once a second's packets, as the
// tool does. BM_ValueLogBuildOnly builds the same packets without the log;
// BM_PlainCsvLines writes the same values as "%.9g" lines with fprintf, the
// plain way to log them. The cost per logged sample is the difference of the
// first two over 5,000.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "artefacts/ParmInfoFile.h"
#include "driver/ValueLog.h"
#include "packet/PacketBuilder.h"
#include "packet/SendBuffer.h"
#include "packet/SignalPlan.h"
#include "packet/SignalRun.h"

namespace {

constexpr int kTable = 262144;

struct Setup {
  packet::PacketFormat format;
  std::unique_ptr<packet::ParmTable> table = std::make_unique<packet::ParmTable>();
  packet::PacketState state;
  packet::SendBuffer buffer;
  packet::SignalsFile file;
  std::unique_ptr<packet::SignalPlan> plan;
  std::unique_ptr<packet::SignalRun> run;
  int64_t samplesPerPacket = 0;
};

std::unique_ptr<Setup> MakeSetup(const std::string& parmInfo, const char* signals) {
  auto setup = std::make_unique<Setup>();
  setup->format.packetRate = 200;
  std::istringstream in(parmInfo);
  artefacts::ReadParmInfo(in, "bench", setup->format, *setup->table, setup->state);
  setup->buffer.Allocate(setup->state.packetBufferSize);
  setup->state.packetHeader[0] = static_cast<uint32_t>(setup->state.packetBufferSize - 4);
  std::vector<std::string> names;
  std::vector<double> rates;
  for (int32_t i = 0; i < setup->table->parmCount; ++i) {
    names.push_back("S01_Parm" + std::to_string(i + 1));
    rates.push_back(setup->table->records[i].sampleRate);
    setup->samplesPerPacket += setup->table->records[i].valuesPerPacket;
  }
  if (signals != nullptr) {
    packet::ParseSignals(signals, &setup->file);
    setup->plan = std::make_unique<packet::SignalPlan>(setup->file, names, rates);
    setup->run = std::make_unique<packet::SignalRun>(setup->plan.get(), setup->table->parmCount);
  }
  return setup;
}

std::string WholeTable() { return std::to_string(kTable) + ",1000\n"; }

std::string RateGroups() {
  std::string text;
  for (int rate = 200; rate <= 1800; rate += 200)
    text += std::to_string(kTable / 9) + "," + std::to_string(rate) + "\n";
  return text;
}

void Run(benchmark::State& state, Setup& setup) {
  for (auto _ : state) {
    packet::BuildCustomPacket(setup.format, *setup.table, setup.state, setup.buffer.data(),
                              setup.run.get());
    benchmark::DoNotOptimize(setup.buffer.data());
    benchmark::ClobberMemory();
  }
  state.counters["samples/s"] = benchmark::Counter(static_cast<double>(setup.samplesPerPacket),
                                                   benchmark::Counter::kIsIterationInvariantRate);
  state.counters["packets/s"] =
      benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_CounterBuild(benchmark::State& state) {
  auto setup = MakeSetup(WholeTable(), nullptr);
  Run(state, *setup);
}

void BM_CounterBuildRateGroups(benchmark::State& state) {
  auto setup = MakeSetup(RateGroups(), nullptr);
  Run(state, *setup);
}

void BM_SignalsAllSine(benchmark::State& state) {
  auto setup = MakeSetup(WholeTable(), "* sine amplitude=100 period=1\n");
  Run(state, *setup);
}

void BM_SignalsMixByRateGroups(benchmark::State& state) {
  auto setup = MakeSetup(RateGroups(), benchsupport::kSignalMix);
  Run(state, *setup);
}

constexpr char kLoggedTable[] = "1000,1000\n";
constexpr char kLoggedSine[] = "* sine amplitude=100 period=1\n";
constexpr int kPacketsPerFlush = 200;

std::string LogPath(const char* name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

void BM_ValueLogBuildOnly(benchmark::State& state) {
  auto setup = MakeSetup(kLoggedTable, kLoggedSine);
  for (int32_t i = 0; i < setup->table->parmCount; ++i) setup->run->MarkLogged(i);
  Run(state, *setup);
}

void BM_ValueLog(benchmark::State& state) {
  auto setup = MakeSetup(kLoggedTable, kLoggedSine);
  std::vector<std::string> names;
  for (int32_t i = 0; i < setup->table->parmCount; ++i) {
    setup->run->MarkLogged(i);
    names.push_back("S01_Parm" + std::to_string(i + 1));
  }
  const std::string path = LogPath("signals_bench_values.csv");
  std::filesystem::remove(path);
  platform::StringTextOut console;
  std::unique_ptr<driver::ValueLog> log;
  const platform::Status opened =
      driver::ValueLog::Open(path, "bench", &names, setup->table.get(), false, console, log);
  if (!opened.ok()) {
    state.SkipWithError(opened.message().c_str());
    return;
  }
  uint64_t sequence = 0;
  for (auto _ : state) {
    packet::BuildCustomPacket(setup->format, *setup->table, setup->state, setup->buffer.data(),
                              setup->run.get());
    log->Add(driver::SentPacket{1, ++sequence, 0, setup->buffer.data()}, setup->run->taps);
    if (sequence % kPacketsPerFlush == 0) log->Flush();
  }
  log->Flush();
  state.counters["samples/s"] = benchmark::Counter(static_cast<double>(setup->samplesPerPacket),
                                                   benchmark::Counter::kIsIterationInvariantRate);
  log.reset();
  std::filesystem::remove(path);
}

void BM_PlainCsvLines(benchmark::State& state) {
  auto setup = MakeSetup(kLoggedTable, kLoggedSine);
  for (int32_t i = 0; i < setup->table->parmCount; ++i) setup->run->MarkLogged(i);
  const std::string path = LogPath("signals_bench_plain.csv");
  std::FILE* file = std::fopen(path.c_str(), "wb");
  uint64_t sequence = 0;
  for (auto _ : state) {
    packet::BuildCustomPacket(setup->format, *setup->table, setup->state, setup->buffer.data(),
                              setup->run.get());
    ++sequence;
    for (const packet::SampleTap& tap : setup->run->taps) {
      float value;
      std::memcpy(&value, setup->buffer.data() + tap.offset, sizeof value);
      std::fprintf(file, "bench,1,%llu,0,S01_Parm%d,%d,%llu,%.9g\n",
                   static_cast<unsigned long long>(sequence), tap.record + 1, tap.record,
                   static_cast<unsigned long long>(tap.n), static_cast<double>(value));
    }
    if (sequence % kPacketsPerFlush == 0) std::fflush(file);
  }
  std::fclose(file);
  state.counters["samples/s"] = benchmark::Counter(static_cast<double>(setup->samplesPerPacket),
                                                   benchmark::Counter::kIsIterationInvariantRate);
  std::filesystem::remove(path);
}

BENCHMARK(BM_CounterBuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SignalsAllSine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CounterBuildRateGroups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SignalsMixByRateGroups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValueLogBuildOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ValueLog)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainCsvLines)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
