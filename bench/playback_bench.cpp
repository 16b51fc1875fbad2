// Playback pacing: a recording of 200 records per second, 64 KiB each (made
// in a temporary folder and removed after), replayed in-process to a
// loopback client on the real clock. Reported, in microseconds:
//   send_p50/p99/max  how much later than its time stamp each record's send
//                     began (the schedule starts at the reference record);
//   recv_p50/p99/max  the same for the client's arrival of the whole record
//                     (send and loopback included);
//   drift_ppm         (last send - first send) against the stamps' span.
// The baseline sleeps to the same due times with nothing else to do, so the
// ratio of send_p99 to base_p99 shows what playback adds to the timer.
//
//   build/bench/playback_bench                                # 60 s run
//   build/bench/playback_bench --benchmark_filter=/5/         # 5 s run
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "driver/Pacing.h"
#include "driver/Playback.h"
#include "driver/RunSettings.h"
#include "platform/Clock.h"
#include "platform/Socket.h"
#include "platform/TextOut.h"

namespace {

constexpr uint32_t kRecordBytes = 64 * 1024;
constexpr int kRecordsPerSecond = 200;
constexpr int32_t kStampStep = 10'000 / kRecordsPerSecond;  // units of 100 us

class NoKeys final : public platform::KeySource {
 public:
  bool KeyPending() override { return false; }
  int ReadKey() override { return platform::kEndOfInput; }
};

class SendTimes final : public driver::PlaybackObserver {
 public:
  void RecordSent(const driver::SentRecord& r) override { sent.push_back(r); }
  std::vector<driver::SentRecord> sent;
};

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  ::close(fd);
  return ntohs(a.sin_port);
}

std::string MakeRecording(int seconds) {
  char folder[] = "/tmp/yeb-playback-bench-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return {};
  const std::string path = std::string(folder) + "/rec.dat";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::vector<uint8_t> record(kRecordBytes, 0x5A);
  const uint32_t sizeWord = kRecordBytes - 4;
  for (int i = 0; i <= seconds * kRecordsPerSecond; ++i) {
    const int32_t stamp = 1'000'000 + i * kStampStep;
    std::memcpy(&record[0], &sizeWord, 4);
    std::memcpy(&record[24], &stamp, 4);
    std::fwrite(record.data(), 1, record.size(), f);
  }
  std::fclose(f);
  return path;
}

void RemoveRecording(const std::string& path) {
  std::remove(path.c_str());
  ::rmdir(path.substr(0, path.rfind('/')).c_str());
}

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(q * static_cast<double>(v.size() - 1))];
}

void SetErrorCounters(benchmark::State& state, const std::string& name,
                      const std::vector<double>& us) {
  state.counters[name + "_p50_us"] = Percentile(us, 0.5);
  state.counters[name + "_p99_us"] = Percentile(us, 0.99);
  state.counters[name + "_max_us"] = Percentile(us, 1.0);
}

void BM_PlaybackPacing(benchmark::State& state) {
  const int seconds = static_cast<int>(state.range(0));
  const std::string path = MakeRecording(seconds);
  for (auto _ : state) {
    driver::ResetRunSettings();
    driver::RunSettings& settings = driver::Settings();
    settings.playbackFlag = 1;
    settings.playbackFilePath = path;
    settings.port = FreePort();
    std::vector<int64_t> arrivals;
    std::thread client([&] {
      platform::TcpStream stream;
      std::string reason;
      for (int tries = 0; tries < 200 && !stream.IsOpen(); ++tries) {
        stream = platform::ConnectTcp("127.0.0.1", settings.port, 1000, reason);
        if (!stream.IsOpen()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      std::vector<uint8_t> chunk(1 << 20);
      uint64_t total = 0;
      for (;;) {
        platform::ReceiveResult r = stream.Receive(chunk.data(), chunk.size(), 2000);
        if (r.status != platform::ReceiveStatus::kData) break;
        const uint64_t before = total > 5 ? (total - 5) / kRecordBytes : 0;
        total += r.bytes;
        const uint64_t after = total > 5 ? (total - 5) / kRecordBytes : 0;
        for (uint64_t i = before; i < after; ++i) arrivals.push_back(platform::CounterNow());
      }
    });
    platform::StringTextOut console;
    NoKeys keys;
    SendTimes log;
    driver::RunEnvironment env{console, keys, platform::SystemClock()};
    packet::SendBuffer buffer;
    driver::RunPlayback(env, buffer, &log);
    client.join();

    // The reference record is not sent: record i (from 0) is due (i + 1)
    // steps after the schedule start, which is one step before the first due.
    std::vector<double> sendUs, recvUs;
    const int64_t stepNs = int64_t{kStampStep} * 100'000;
    const int64_t startNs = log.sent.empty() ? 0 : log.sent.front().dueNs - stepNs;
    for (size_t i = 0; i < log.sent.size(); ++i) {
      const int64_t stampNs = startNs + static_cast<int64_t>(i + 1) * stepNs;
      sendUs.push_back(static_cast<double>(log.sent[i].sendStartNs - stampNs) / 1e3);
    }
    for (size_t i = 0; i < arrivals.size(); ++i) {
      const int64_t stampNs = startNs + static_cast<int64_t>(i + 1) * stepNs;
      recvUs.push_back(static_cast<double>(arrivals[i] - stampNs) / 1e3);
    }
    SetErrorCounters(state, "send", sendUs);
    SetErrorCounters(state, "recv", recvUs);
    if (log.sent.size() > 1) {
      const double span = static_cast<double>(log.sent.size() - 1) * static_cast<double>(stepNs);
      const double real =
          static_cast<double>(log.sent.back().sendStartNs - log.sent.front().sendStartNs);
      state.counters["drift_ppm"] = (real - span) / span * 1e6;
    }
    state.counters["records"] = static_cast<double>(log.sent.size());
    state.counters["received"] = static_cast<double>(arrivals.size());
  }
  RemoveRecording(path);
}

// The same due times, slept to on the same clock with nothing else to do.
void BM_TimerBaseline(benchmark::State& state) {
  const int seconds = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const int64_t stepNs = int64_t{kStampStep} * 100'000;
    const int64_t startNs = platform::CounterNow();
    std::vector<double> us;
    for (int i = 1; i <= seconds * kRecordsPerSecond; ++i) {
      const int64_t due = driver::PlaybackDueNs(startNs, i * (stepNs / driver::kNsPerMs), 1.0);
      platform::SystemClock().SleepUntilNs(due);
      us.push_back(static_cast<double>(platform::CounterNow() - due) / 1e3);
    }
    SetErrorCounters(state, "base", us);
  }
}

}  // namespace

BENCHMARK(BM_TimerBaseline)->Arg(60)->Arg(5)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_PlaybackPacing)->Arg(60)->Arg(5)->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
