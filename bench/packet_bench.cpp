// Packet build rate: Custom and NEP packets of about 1.5 MB and 30 MB built
// in the preallocated send buffer, in samples per second, beside a plain
// loop that writes the same number of 12-byte pair entries into the same
// buffer (the baseline). Compare the "samples/s" counters of a build and of
// its baseline in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "artefacts/ParmInfoFile.h"
#include "packet/PacketBuilder.h"
#include "packet/PacketFormat.h"
#include "packet/PacketState.h"
#include "packet/ParmTable.h"
#include "packet/SendBuffer.h"
#include "platform/TextOut.h"

namespace {

struct PacketSetup {
  packet::PacketFormat format;
  std::unique_ptr<packet::ParmTable> table = std::make_unique<packet::ParmTable>();
  packet::PacketState state;
  packet::SendBuffer buffer;
  int64_t samplesPerPacket = 0;
};

// "count,rate" at 200 packets per second for the source type.
std::unique_ptr<PacketSetup> MakeSetup(int32_t sourceType, int count, int rate) {
  auto setup = std::make_unique<PacketSetup>();
  setup->format.sourceType = sourceType;
  setup->format.packetRate = 200;
  std::istringstream in(std::to_string(count) + "," + std::to_string(rate) + "\n");
  artefacts::ReadParmInfo(in, "bench", setup->format, *setup->table, setup->state);
  setup->buffer.Allocate(setup->state.packetBufferSize);
  setup->state.packetHeader[0] = static_cast<uint32_t>(setup->state.packetBufferSize - 4);
  setup->samplesPerPacket = int64_t{count} * (rate / 200);
  return setup;
}

class NullOut final : public platform::TextOut {
 public:
  void Write(std::string_view) override {}
};

void Report(benchmark::State& state, int64_t samplesPerIteration, int64_t bytesPerIteration) {
  state.counters["samples/s"] = benchmark::Counter(static_cast<double>(samplesPerIteration),
                                                   benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(state.iterations() * bytesPerIteration);
}

void BM_BuildCustomPacket(benchmark::State& state) {
  auto setup = MakeSetup(packet::kSourceCustom, static_cast<int>(state.range(0)),
                         static_cast<int>(state.range(1)));
  for (auto _ : state) {
    packet::BuildCustomPacket(setup->format, *setup->table, setup->state, setup->buffer.data());
    benchmark::DoNotOptimize(setup->buffer.data());
    benchmark::ClobberMemory();
  }
  Report(state, setup->samplesPerPacket, setup->state.packetBufferSize);
}

void BM_BuildNepPacket(benchmark::State& state) {
  auto setup = MakeSetup(packet::kSourceNep, static_cast<int>(state.range(0)),
                         static_cast<int>(state.range(1)));
  NullOut out;
  for (auto _ : state) {
    packet::BuildNepPacket(setup->format, *setup->table, setup->state, setup->buffer.data(), out);
    benchmark::DoNotOptimize(setup->buffer.data());
    benchmark::ClobberMemory();
  }
  Report(state, setup->samplesPerPacket, setup->state.nepPacketLength);
}

// The baseline: the same number of samples written as 12-byte pair entries
// (two 16-bit tags, two float values) by the plainest loop.
void BM_PlainPairLoop(benchmark::State& state) {
  const int64_t samples = state.range(0) * (state.range(1) / 200);
  const int64_t pairs = samples / 2;
  packet::SendBuffer buffer;
  buffer.Allocate(pairs * 12);
  for (auto _ : state) {
    uint8_t* at = buffer.data();
    float value = 0.0f;
    const uint32_t tags = 3u | (3u << 16);
    for (int64_t i = 0; i < pairs; ++i) {
      std::memcpy(at, &tags, 4);
      std::memcpy(at + 4, &value, 4);
      const float second = value + 1.0f;
      std::memcpy(at + 8, &second, 4);
      value += 2.0f;
      at += 12;
    }
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  Report(state, pairs * 2, pairs * 12);
}

// {count, rate} at 200 packets per second. Custom: 150 KB of records of 5
// samples (table and packet in the core's cache), 1.5 MB as many records of
// 5 samples and as fewer records of 20, then 30 MB, then the whole table
// (7.86 MB); NEP the 1.5 MB and 30 MB shapes.
// Many small records add the table's own memory traffic (a 32-byte record
// read and written per record) to the packet's.
BENCHMARK(BM_BuildCustomPacket)
    ->Args({5000, 1000})
    ->Args({50000, 1000})
    ->Args({12500, 4000})
    ->Args({250000, 4000})
    ->Args({262144, 1000})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuildNepPacket)
    ->Args({37500, 1000})
    ->Args({9375, 4000})
    ->Args({187500, 4000})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainPairLoop)
    ->Args({5000, 1000})
    ->Args({50000, 1000})
    ->Args({12500, 4000})
    ->Args({250000, 4000})
    ->Args({37500, 1000})
    ->Args({9375, 4000})
    ->Args({187500, 4000})
    ->Args({262144, 1000})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
