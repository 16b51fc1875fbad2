// Load and save of a large configuration (the default tables plus 262,144
// ParameterDefaults rows of 69 fields), plain and zipped, against reading
// the same file and splitting it into lines with no tree at all, and against
// writing the same bytes through one buffered stream. Also the rate of
// unique ids.
//
// Peak memory is reported as the growth of the process's peak resident size
// during one load, divided by the file size (counter "peak_x_file").
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "artefacts/DefaultConfigText.h"
#include "platform/System.h"
#include "templatelib/ConfigFileWriter.h"
#include "templatelib/UniqueId.h"
#include "templatelib/tConfigSource.h"

namespace {

using benchsupport::FileSize;
using benchsupport::ResetPeak;
using benchsupport::StatusKb;

constexpr int kRows = 262144;

// A row as the configuration builder writes it: 69 fields, numbers with six
// fraction digits, list words, and an empty property bag.
std::string RowValue(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "PARM%06d", i);
  std::string v;
  v.reserve(512);
  v += "Default|";
  v += name;
  v += "|Analog|Group|SubGroup|";
  v += name;
  v += "|";
  v += name;
  v += " long name|units|255|1|Custom|";
  v += std::to_string(i + 3);
  v += "|100.000000|-1000.000000|1000.000000|-1000.000000|1000.000000|On|-1000.000000|"
       "1000.000000|On|-900.000000|900.000000|65535|Warning|1|-950.000000|950.000000|255|"
       "Alarm|2|No|Butterworth|LowPass|0.000000|50.000000|4|-2000.000000|2000.000000|None|"
       "0.000000|No|None|0.000000|0.000000|0.000000|None|None|None|0.000000||None|0|True|"
       "50.000000|True|0.000000|1.000000|Auto||Hanning|0.5|Linear|50.000000|4|1024||";
  v += std::to_string(i);
  v += "-TueDec820:22:502026@benchhost-4242|";
  return v;
}

// The scratch folder, emptied and removed when the program ends (the files
// are large).
class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/configfile_bench.XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made != nullptr ? made : "";
  }
  ~ScratchFolder() {
    for (const char* name : {"defaults.config", "big.config", "big.zip", "baseline.out",
                             "saved.config", "ring.config", "saved.zip"}) {
      std::remove((path_ + "/" + name).c_str());
    }
    for (const char* name : {"ring.tmp0", "ring.tmp1", "saved.tmp0.zip"}) {
      std::remove((platform::TempFolder() + name).c_str());
    }
    std::remove(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string FolderName() {
  static ScratchFolder folder;
  return folder.path();
}

// The plain file, built once: the default text loaded, the rows added, saved.
const std::string& PlainFile() {
  static const std::string path = [] {
    const std::string folder = FolderName();
    const std::string defaults = folder + "/defaults.config";
    std::ofstream(defaults, std::ios::binary) << schema::GetDefaultConfigText();
    tConfigSource source;
    source.LoadAttributesFromFile(defaults.c_str(), 0, nullptr, nullptr);
    tTableNodes nodes;
    source.FindTable("ParameterDefaults", &nodes);
    for (int i = 0; i < kRows; ++i) {
      std::string id = std::to_string(i) + "-TueDec820:22:502026@benchhost-4242";
      tAttribute::CreateChild(nodes.contents, id.c_str(), RowValue(i).c_str(), kRowUnchanged);
    }
    const std::string plain = folder + "/big.config";
    source.Save(plain.c_str(), 0, 2, 0);
    source.Save((folder + "/big.zip").c_str(), 0, 2, 0);
    return plain;
  }();
  return path;
}

const std::string& ZipFile() {
  static const std::string path = (PlainFile(), FolderName() + "/big.zip");
  return path;
}

void BM_ReadAndSplitLines(benchmark::State& state) {
  const std::string& path = PlainFile();
  int64_t lines = 0;
  for (auto _ : state) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::vector<char> chunk(1 << 20);
    std::string carry;
    size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
      size_t start = 0;
      for (;;) {
        const void* feed = std::memchr(chunk.data() + start, '\n', n - start);
        if (feed == nullptr) break;
        size_t end = static_cast<const char*>(feed) - chunk.data();
        carry.append(chunk.data() + start, end - start);
        benchmark::DoNotOptimize(carry.data());
        carry.clear();
        ++lines;
        start = end + 1;
      }
      carry.append(chunk.data() + start, n - start);
    }
    std::fclose(file);
  }
  state.SetBytesProcessed(state.iterations() * FileSize(path));
  benchmark::DoNotOptimize(lines);
}

void LoadBench(benchmark::State& state, const std::string& path) {
  const int64_t size = FileSize(path);
  double peakRatio = 0;
  for (auto _ : state) {
    state.PauseTiming();
    AttributePool().StopDeleter();  // the previous tree is gone before we measure
    const int64_t before = StatusKb("VmRSS:");
    ResetPeak();
    state.ResumeTiming();
    tConfigSource source;
    if (source.LoadAttributesFromFile(path.c_str(), 0, nullptr, nullptr) == nullptr) {
      state.SkipWithError("load failed");
      return;
    }
    state.PauseTiming();
    peakRatio = static_cast<double>(StatusKb("VmHWM:") - before) * 1024.0 / size;
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * size);
  state.counters["peak_x_file"] = peakRatio;
  state.counters["file_MB"] = static_cast<double>(size) / 1e6;
}

void BM_LoadPlain(benchmark::State& state) { LoadBench(state, PlainFile()); }
void BM_LoadZip(benchmark::State& state) { LoadBench(state, ZipFile()); }

// One loaded source for the save benchmarks.
tConfigSource& Loaded() {
  static tConfigSource* source = [] {
    auto* s = new tConfigSource();
    s->LoadAttributesFromFile(PlainFile().c_str(), 0, nullptr, nullptr);
    return s;
  }();
  return *source;
}

void BM_WriteSameBytesBuffered(benchmark::State& state) {
  StringTextSink text;
  WriteConfigTree(Loaded().Root(), text);
  const std::string out = FolderName() + "/baseline.out";
  for (auto _ : state) {
    std::FILE* file = std::fopen(out.c_str(), "wb");
    std::fwrite(text.text.data(), 1, text.text.size(), file);
    std::fclose(file);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.text.size()));
}

void SaveBench(benchmark::State& state, const char* name, int useTemp) {
  tConfigSource& source = Loaded();
  const std::string out = FolderName() + "/" + name;
  for (auto _ : state) {
    if (source.Save(out.c_str(), useTemp, 2, 0) != S_OK) {
      state.SkipWithError("save failed");
      return;
    }
  }
  state.SetBytesProcessed(state.iterations() * FileSize(PlainFile()));
}

void BM_SavePlain(benchmark::State& state) { SaveBench(state, "saved.config", 0); }
void BM_SavePlainThroughTempRing(benchmark::State& state) { SaveBench(state, "ring.config", 1); }
void BM_SaveZip(benchmark::State& state) { SaveBench(state, "saved.zip", 0); }

void BM_GetUniqueId(benchmark::State& state) {
  tString id;
  for (auto _ : state) benchmark::DoNotOptimize(schema::GetUniqueId(&id));
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_ReadAndSplitLines)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LoadPlain)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LoadZip)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WriteSameBytesBuffered)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SavePlain)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SavePlainThroughTempRing)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SaveZip)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_GetUniqueId);

BENCHMARK_MAIN();
