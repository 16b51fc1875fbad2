// Checking throughput: yebverify's checker over a recorded in-memory stream,
// in samples per second, beside a plain pass over the same bytes that only
// sums them (the baseline). The stream is the largest the stress tool sends:
// 262,144 parameters at 1,000 samples per second, 200 packets per second
// (7.9 MB Custom packets, about 1.6 GB/s on the wire), and a smaller
// 16,384-parameter stream. Compare the "samples/s" counters of a check and
// of its baseline in the same run.
//
// BM_CheckSignals checks the whole table against a signals file:
//   0  every parameter a sine of one period (1,000 samples)
//   1  nine rate groups of 29,127 parameters (200 to 1,800 samples per
//      second, 1,000 on average), one pattern each, the counter included
// beside BM_SumSignals, the summing pass over the same stream.
#include <benchmark/benchmark.h>

#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Failures.h"
#include "ParameterList.h"
#include "SignalCheck.h"
#include "StreamChecker.h"
#include "StreamModel.h"
#include "packet/SignalPlan.h"

namespace {

using namespace yebverify;

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 2); }
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); }

// A stream recorded once: consecutive packets from packet 1, built with the
// packet rules (the checker is tested against an independent model
// elsewhere; here only its speed matters).
struct RecordedStream {
  std::unique_ptr<StreamModel> model;
  packet::SignalsFile signalsFile;
  std::unique_ptr<packet::SignalPlan> plan;
  SignalCheck signals;
  std::vector<std::vector<uint8_t>> packets;
  uint64_t samples = 0;
  uint64_t bytes = 0;
};

// `rates`: one parameter each, in table order. `signals`: a signals file
// for the values, or null for counters.
std::unique_ptr<RecordedStream> Record(SourceKind source, const std::vector<double>& rates,
                                       int packetCount, const char* signals = nullptr) {
  auto stream = std::make_unique<RecordedStream>();
  ParameterList list;
  list.source = source;
  list.dayTag = 1;
  list.millisecondTag = 2;
  list.timeTag = 1;
  for (size_t i = 0; i < rates.size(); ++i) {
    const uint32_t tag = 3u + static_cast<uint32_t>(i);
    list.parameters.push_back({source == SourceKind::kCustom ? tag & 0xFFFF : tag - 1, rates[i],
                               "S01_Parm" + std::to_string(i + 1)});
  }
  stream->model = std::make_unique<StreamModel>(list, StreamShape{source, 200, false});
  const StreamModel& model = *stream->model;
  if (signals != nullptr) {
    packet::ParseSignals(signals, &stream->signalsFile);
    std::vector<std::string> names;
    for (const ListedParameter& p : list.parameters) names.push_back(p.name);
    stream->plan = std::make_unique<packet::SignalPlan>(stream->signalsFile, names, rates);
    stream->signals.plan = stream->plan.get();
  }
  const packet::SignalPlan* signalPlan = stream->plan.get();
  std::vector<uint32_t> value(model.records().size(), 0);
  std::vector<uint64_t> sampleN(model.records().size(), 0);
  uint32_t tick = 0;
  uint64_t nepTime = 0;
  for (uint64_t p = 1; p <= static_cast<uint64_t>(packetCount); ++p) {
    std::vector<uint8_t> b(model.packetSizeLimit(), 0);
    size_t at;
    if (source == SourceKind::kCustom) {
      Put32(b, 0, static_cast<uint32_t>(b.size() - 4));
      Put32(b, 4, static_cast<uint32_t>(p));
      Put32(b, 8, static_cast<uint32_t>(p));
      Put32(b, 32, 1 | 1 << 16);
      Put32(b, 36, 1);
      Put32(b, 40, 1);
      at = 44;
      for (int i = 0; i < model.timeValuesPerPacket() / 2; ++i, at += 12, tick += 2) {
        Put32(b, at, 2 | 2 << 16);
        Put32(b, at + 4, tick);
        Put32(b, at + 8, tick + 1);
      }
    } else {
      at = 4;
      for (int i = 0; i < model.timeValuesPerPacket(); ++i, at += 12) {
        nepTime += 100000;
        Put32(b, at, 0x80000001u);
        Put32(b, at + 4, static_cast<uint32_t>(nepTime));
        Put32(b, at + 8, static_cast<uint32_t>(nepTime >> 32));
      }
    }
    uint32_t pendingTag = 0, pendingBits = 0;
    for (size_t r = 0; r < model.records().size(); ++r) {
      const RecordPlan& plan = model.records()[r];
      for (uint32_t s = model.SamplesIn(plan, p); s > 0; --s) {
        uint32_t bits = FloatBits(value[r]);
        value[r] = NextValue(plan, value[r]);
        const int32_t id = signalPlan != nullptr ? signalPlan->SourceOf(r) : -1;
        if (id >= 0) bits = std::bit_cast<uint32_t>(signalPlan->source(id).At(r + 1, sampleN[r]));
        ++sampleN[r];
        ++stream->samples;
        if (source == SourceKind::kNep) {
          Put32(b, at, plan.tag);
          Put32(b, at + 4, bits);
          at += 8;
        } else if (pendingTag == 0) {
          pendingTag = plan.tag;
          pendingBits = bits;
        } else {
          Put16(b, at, pendingTag);
          Put16(b, at + 2, plan.tag);
          Put32(b, at + 4, pendingBits);
          Put32(b, at + 8, bits);
          at += 12;
          pendingTag = 0;
        }
      }
    }
    if (source == SourceKind::kNep) {
      b.resize(at);
      Put32(b, 0, static_cast<uint32_t>(at - 4));
    }
    // The first packet only teaches the checker the counters; it is checked
    // outside the timing, so it does not count.
    if (p == 1) stream->samples = 0;
    if (p > 1) stream->bytes += b.size();
    stream->packets.push_back(std::move(b));
  }
  return stream;
}

RecordedStream& Cached(SourceKind source, int parameters) {
  static std::unique_ptr<RecordedStream> streams[2][2];
  std::unique_ptr<RecordedStream>& s = streams[source == SourceKind::kNep][parameters > 100000];
  if (!s) {
    s = Record(source, std::vector<double>(static_cast<size_t>(parameters), 1000.0),
               parameters > 100000 ? 9 : 60);
  }
  return *s;
}

constexpr int kTable = 262144;

RecordedStream& CachedSignals(int kind) {
  static std::unique_ptr<RecordedStream> streams[2];
  std::unique_ptr<RecordedStream>& s = streams[kind];
  if (!s) {
    std::vector<double> rates;
    if (kind == 0) {
      rates.assign(kTable, 1000.0);
    } else {
      for (int rate = 200; rate <= 1800; rate += 200) rates.insert(rates.end(), kTable / 9, rate);
    }
    s = Record(SourceKind::kCustom, rates, 9,
               kind == 0 ? "* sine period=1\n" : benchsupport::kSignalMix);
  }
  return *s;
}

void Report(benchmark::State& state, const RecordedStream& stream) {
  state.counters["samples/s"] = benchmark::Counter(static_cast<double>(stream.samples),
                                                   benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.bytes));
}

void CheckRecorded(benchmark::State& state, RecordedStream& stream) {
  uint64_t failures = 0;
  for (auto _ : state) {
    state.PauseTiming();
    FailureLog log;
    auto checker = std::make_unique<StreamChecker>(*stream.model, TimeOptions{}, log);
    if (stream.plan) checker->SetSignals(&stream.signals);
    checker->BeginConnection();
    checker->CheckPacket(stream.packets[0].data(), stream.packets[0].size());
    state.ResumeTiming();
    for (size_t i = 1; i < stream.packets.size(); ++i) {
      checker->CheckPacket(stream.packets[i].data(), stream.packets[i].size());
    }
    failures += log.total();
  }
  if (failures != 0) state.SkipWithError("the recorded stream did not check clean");
  Report(state, stream);
}

// The baseline: one pass over the same bytes that only sums them.
void SumRecorded(benchmark::State& state, const RecordedStream& stream) {
  for (auto _ : state) {
    uint64_t sum = 0;
    for (size_t n = 1; n < stream.packets.size(); ++n) {
      const std::vector<uint8_t>& p = stream.packets[n];
      const uint8_t* data = p.data();
      size_t i = 0;
      for (; i + 8 <= p.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, data + i, 8);
        sum += word;
      }
      for (; i < p.size(); ++i) sum += data[i];
    }
    benchmark::DoNotOptimize(sum);
  }
  Report(state, stream);
}

SourceKind SourceArg(const benchmark::State& state) {
  return state.range(0) == 0 ? SourceKind::kCustom : SourceKind::kNep;
}

void BM_CheckStream(benchmark::State& state) {
  CheckRecorded(state, Cached(SourceArg(state), static_cast<int>(state.range(1))));
}

void BM_SumStream(benchmark::State& state) {
  SumRecorded(state, Cached(SourceArg(state), static_cast<int>(state.range(1))));
}

void BM_CheckSignals(benchmark::State& state) {
  CheckRecorded(state, CachedSignals(static_cast<int>(state.range(0))));
}

void BM_SumSignals(benchmark::State& state) {
  SumRecorded(state, CachedSignals(static_cast<int>(state.range(0))));
}

// {source (0 Custom, 1 NEP), parameters at 1,000 samples per second}
BENCHMARK(BM_SumStream)
    ->Args({0, 16384})
    ->Args({0, 262144})
    ->Args({1, 16384})
    ->Args({1, 262144})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckStream)
    ->Args({0, 16384})
    ->Args({0, 262144})
    ->Args({1, 16384})
    ->Args({1, 262144})
    ->Unit(benchmark::kMillisecond);
// {signals: 0 every parameter a sine, 1 a pattern per rate group}
BENCHMARK(BM_SumSignals)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckSignals)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
