// Packet build rate with signals against the counter build, same table,
// same run: the whole 262,144-parameter table at 1,000 samples per second,
// Custom at 200 packets per second (1,310,720 samples a packet). Compare
// the "samples/s" counter of each signals case with BM_CounterBuild's.
//   Sine:  every parameter a sine of one period (1,000 samples, tabled)
//   Mix:   nine rate groups of 29,127 parameters (200 to 1,800 samples per
//          second, 1,000 on average), one pattern each, counter included
#include <benchmark/benchmark.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "artefacts/ParmInfoFile.h"
#include "packet/PacketBuilder.h"
#include "packet/SendBuffer.h"
#include "packet/SignalPlan.h"
#include "packet/SignalRun.h"

namespace {

constexpr int kTable = 262144;

struct Setup {
  packet::RunSettings settings;
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
  setup->settings.packetRate = 200;
  setup->settings.packetPeriodMs = 5;
  std::istringstream in(parmInfo);
  artefacts::ReadParmInfo(in, "bench", setup->settings, *setup->table, setup->state);
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
    std::string error;
    packet::ParseSignals(signals, &setup->file, &error);
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

constexpr char kMix[] =
    "rate=200 constant value=3.5\n"
    "rate=400 sine amplitude=10 period=0.5\n"
    "rate=600 square low=0 high=100 period=10 duty=0.5\n"
    "rate=800 triangle min=-1 max=1 period=2\n"
    "rate=1200 sawtooth period=1\n"
    "rate=1400 steps values=1,2,3,4 hold=0.1\n"
    "rate=1600 random min=-5 max=5\n"
    "rate=1800 special\n";  // rate 1000 keeps the counter

void Run(benchmark::State& state, Setup& setup) {
  for (auto _ : state) {
    packet::BuildCustomPacket(setup.settings, *setup.table, setup.state, setup.buffer.data(),
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
  auto setup = MakeSetup(RateGroups(), kMix);
  Run(state, *setup);
}

BENCHMARK(BM_CounterBuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SignalsAllSine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CounterBuildRateGroups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SignalsMixByRateGroups)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
