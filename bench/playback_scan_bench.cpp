// The header scan that playback runs at the start (and /PlaybackInfo
// prints): a file of 64 KiB records, read from the page cache. Reported:
// records per second and the file's bytes covered per second (GB/s), for
// the scan and for the baseline, a bare loop of 32-byte positioned reads at
// the same offsets with no decoding, so the ratio shows what the scan adds
// to the system calls it cannot avoid.
//
//   build/bench/playback_scan_bench                # 1 GiB written file
//   build/bench/playback_scan_bench --benchmark_filter=Sparse   # 10 GiB sparse
//
// The written file is read once before timing so it is in the page cache;
// the sparse one has only its headers on disk (its holes read as zeros).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/PlaybackScan.h"
#include "io/RecordHeader.h"
#include "io/utFile.h"

namespace {

constexpr int64_t kRecordBytes = 64 * 1024;

std::string TempFolder() {
  char folder[] = "/tmp/yeb-scan-bench-XXXXXX";
  return ::mkdtemp(folder) == nullptr ? std::string() : std::string(folder);
}

void PutHeader(uint8_t* header, int64_t i) {
  const uint32_t sizeWord = kRecordBytes - 4;
  const int32_t stamp = static_cast<int32_t>(1'000'000 + i * 50);
  std::memcpy(header, &sizeWord, 4);
  std::memcpy(header + 24, &stamp, 4);
}

// Whole records, written out, then read once into the page cache.
std::string MakeWrittenFile(const std::string& folder, int64_t records) {
  const std::string path = folder + "/rec.dat";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::vector<uint8_t> record(kRecordBytes, 0x5A);
  for (int64_t i = 0; i < records; ++i) {
    PutHeader(record.data(), i);
    std::fwrite(record.data(), 1, record.size(), f);
  }
  std::fclose(f);
  const int fd = ::open(path.c_str(), O_RDONLY);
  std::vector<uint8_t> chunk(1 << 20);
  while (::read(fd, chunk.data(), chunk.size()) > 0) {
  }
  ::close(fd);
  return path;
}

// Headers only; the bodies are holes.
std::string MakeSparseFile(const std::string& folder, int64_t records) {
  const std::string path = folder + "/sparse.dat";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  uint8_t header[32] = {};
  for (int64_t i = 0; i < records; ++i) {
    PutHeader(header, i);
    if (::pwrite(fd, header, sizeof header, i * kRecordBytes) != 32) break;
  }
  if (::ftruncate(fd, records * kRecordBytes) != 0) std::perror("ftruncate");
  ::close(fd);
  return path;
}

void Report(benchmark::State& state, int64_t records, const char* prefix) {
  const auto perSecond = benchmark::Counter::kIsIterationInvariantRate;
  state.counters[std::string(prefix) + "records_per_s"] =
      benchmark::Counter(static_cast<double>(records), perSecond);
  state.counters[std::string(prefix) + "GB_per_s"] =
      benchmark::Counter(static_cast<double>(records * kRecordBytes) / 1e9, perSecond);
}

void ScanBench(benchmark::State& state, const std::string& path, int64_t records) {
  io::utFile file;
  if (file.Open(path, io::utFile::kModeRead) != 0) {
    state.SkipWithError("cannot open the file");
    return;
  }
  for (auto _ : state) {
    io::FileRecordSource source(file);
    const driver::RecordingScan scan = driver::ScanRecording(source, 60'000, 0);
    if (scan.records != records) state.SkipWithError("the scan miscounted");
    benchmark::DoNotOptimize(scan.replayMs);
  }
  Report(state, records, "");
}

// The baseline: the same positioned reads, nothing else.
void ReadsBench(benchmark::State& state, const std::string& path, int64_t records) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  uint8_t header[32];
  for (auto _ : state) {
    int64_t sum = 0;
    for (int64_t i = 0; i < records; ++i) {
      if (::pread(fd, header, sizeof header, i * kRecordBytes) == 32) sum += header[24];
    }
    benchmark::DoNotOptimize(sum);
  }
  ::close(fd);
  Report(state, records, "base_");
}

struct Files {
  Files() : folder(TempFolder()) {}
  ~Files() {
    for (const std::string& p : made) std::remove(p.c_str());
    ::rmdir(folder.c_str());
  }
  std::string folder;
  std::vector<std::string> made;
};

Files& TheFiles() {
  static Files files;
  return files;
}

constexpr int64_t kWrittenRecords = 16 * 1024;  // 1 GiB
constexpr int64_t kSparseRecords = 160 * 1024;  // 10 GiB

const std::string& WrittenFile() {
  static const std::string path = [] {
    std::string p = MakeWrittenFile(TheFiles().folder, kWrittenRecords);
    TheFiles().made.push_back(p);
    return p;
  }();
  return path;
}

const std::string& SparseFile() {
  static const std::string path = [] {
    std::string p = MakeSparseFile(TheFiles().folder, kSparseRecords);
    TheFiles().made.push_back(p);
    return p;
  }();
  return path;
}

void BM_Scan(benchmark::State& s) { ScanBench(s, WrittenFile(), kWrittenRecords); }
void BM_Reads(benchmark::State& s) { ReadsBench(s, WrittenFile(), kWrittenRecords); }
void BM_SparseScan(benchmark::State& s) { ScanBench(s, SparseFile(), kSparseRecords); }
void BM_SparseReads(benchmark::State& s) { ReadsBench(s, SparseFile(), kSparseRecords); }

BENCHMARK(BM_Reads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SparseReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SparseScan)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
