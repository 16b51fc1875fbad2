// Several connections at once: yebstress started as a program with
// /Connections, 200 packets per second of about 48 KiB (about 10 MB/s per
// connection), read by loopback clients in this process. Reported per run:
//   late_p99_us/late_max_us  the worst healthy client's arrival lateness
//                            against the tool's schedule (packet k of a
//                            cycle at its start + k x 5 ms, a cycle a
//                            second), the schedule anchored at the client's
//                            earliest packet;
//   cpu_ms_per_s             the tool's CPU time (user + system) per second
//                            of the steady part of the run;
//   cpu_ratio                cpu_ms_per_s against the one-connection run of
//                            the same process (the baseline).
// The stalled case stops reading one client for 5 s; the tool closes it once
// its queue holds a second of packets, and the others must not notice.
//
//   build/bench/fanout_bench
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kRate = 200;
constexpr int64_t kPeriodNs = 5'000'000;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The tool's user + system CPU so far, in milliseconds.
double CpuMs(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; fields >> field && i <= 15; ++i) {
    if (i >= 14) ticks += std::stod(field);
  }
  return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Arrival {
  uint32_t sequence;
  Clock::time_point at;
};

// Reads the greeting and whole packets; `stallAfter` packets in, stops
// reading for `stall`.
std::vector<Arrival> ReadStream(int port, int64_t stallAfter, std::chrono::milliseconds stall,
                                Clock::time_point until) {
  std::vector<Arrival> arrivals;
  std::string reason;
  platform::TcpStream stream = platform::ConnectTcp("127.0.0.1", port, 5000, reason);
  if (!stream.IsOpen()) return arrivals;
  std::vector<uint8_t> pending;
  std::vector<uint8_t> chunk(1 << 20);
  size_t packetBytes = 0;
  bool stalled = false;
  while (Clock::now() < until) {
    platform::ReceiveResult r = stream.Receive(chunk.data(), chunk.size(), 100);
    if (r.status == platform::ReceiveStatus::kClosed || r.status == platform::ReceiveStatus::kError)
      break;
    if (r.status != platform::ReceiveStatus::kData) continue;
    const auto now = Clock::now();
    pending.insert(pending.end(), chunk.begin(), chunk.begin() + static_cast<long>(r.bytes));
    size_t at = 0;
    if (packetBytes == 0 && pending.size() >= 9) {
      packetBytes =
          4 + (pending[5] | pending[6] << 8 | pending[7] << 16 | uint32_t{pending[8]} << 24);
      at = 5;
    }
    while (packetBytes > 0 && pending.size() - at >= packetBytes) {
      const uint8_t* p = pending.data() + at + 4;
      arrivals.push_back(
          {static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24), now});
      at += packetBytes;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(at));
    if (!stalled && stallAfter >= 0 && static_cast<int64_t>(arrivals.size()) >= stallAfter) {
      stalled = true;
      std::this_thread::sleep_for(stall);
    }
  }
  return arrivals;
}

// p99 and max lateness in microseconds.
std::pair<double, double> Lateness(const std::vector<Arrival>& arrivals) {
  if (arrivals.empty()) return {0, 0};
  auto offsetNs = [](uint32_t s) {
    return static_cast<int64_t>(s / kRate) * 1'000'000'000 +
           static_cast<int64_t>(s % kRate) * kPeriodNs;
  };
  const auto origin = arrivals.front().at;
  std::vector<int64_t> slack;
  for (const Arrival& a : arrivals) {
    slack.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(a.at - origin).count() -
                    offsetNs(a.sequence));
  }
  const int64_t base = *std::min_element(slack.begin(), slack.end());
  for (int64_t& s : slack) s -= base;
  std::sort(slack.begin(), slack.end());
  const size_t rank = (slack.size() * 99 + 99) / 100;
  return {static_cast<double>(slack[rank - 1]) / 1e3, static_cast<double>(slack.back()) / 1e3};
}

double gBaselineCpu = 0.0;

void BM_FanOut(benchmark::State& state) {
  const int connections = static_cast<int>(state.range(0));
  const bool stall = state.range(1) != 0;
  char folder[] = "/tmp/fanout_bench_XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string dir = folder;
  std::ofstream(dir + "/parmInfo.txt") << "1600,1000\n";
  for (auto _ : state) {
    const std::string log = dir + "/out.txt";
    std::vector<std::string> args = {YEBSTRESS_PATH,
                                     "/Connections",
                                     std::to_string(connections),
                                     "/PortId",
                                     "0",
                                     "/PacketRate",
                                     "5",
                                     "/OutputDir",
                                     dir + "/out",
                                     "/ParmInfo",
                                     dir + "/parmInfo.txt",
                                     "/Duration",
                                     "10"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    posix_spawn(&pid, YEBSTRESS_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int port = 0;
    for (auto end = Clock::now() + 120s; port == 0 && Clock::now() < end;) {
      const std::string text = ReadFile(log);
      const size_t at = text.find("Port: ( ");
      if (at != std::string::npos) port = std::atoi(text.c_str() + at + 8);
      std::this_thread::sleep_for(50ms);
    }
    const auto until = Clock::now() + 11s;
    std::vector<std::vector<Arrival>> streams(static_cast<size_t>(connections));
    std::vector<std::thread> clients;
    for (int c = 0; c < connections; ++c) {
      const bool stalls = stall && c == connections - 1;
      clients.emplace_back([&, c, stalls] {
        streams[static_cast<size_t>(c)] = ReadStream(port, stalls ? 300 : -1, 5000ms, until);
      });
      std::this_thread::sleep_for(20ms);
    }
    std::this_thread::sleep_for(2s);
    const double cpuStart = CpuMs(pid);
    const auto cpuFrom = Clock::now();
    std::this_thread::sleep_for(6s);
    const double cpuPerSecond =
        (CpuMs(pid) - cpuStart) / std::chrono::duration<double>(Clock::now() - cpuFrom).count();
    for (std::thread& t : clients) t.join();
    int status = 0;
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);

    double p99 = 0, max = 0;
    for (int c = 0; c < connections - (stall ? 1 : 0); ++c) {
      const auto [p, m] = Lateness(streams[static_cast<size_t>(c)]);
      state.counters["late_p99_us_" + std::to_string(c + 1)] = p;
      state.counters["late_max_us_" + std::to_string(c + 1)] = m;
      p99 = std::max(p99, p);
      max = std::max(max, m);
    }
    state.counters["late_p99_us"] = p99;
    state.counters["late_max_us"] = max;
    state.counters["cpu_ms_per_s"] = cpuPerSecond;
    if (connections == 1 && !stall) gBaselineCpu = cpuPerSecond;
    if (gBaselineCpu > 0) state.counters["cpu_ratio"] = cpuPerSecond / gBaselineCpu;
    state.counters["stalled_closed"] =
        ReadFile(log).find("fell behind") != std::string::npos ? 1 : 0;
  }
  std::system(("rm -rf " + dir).c_str());
}

// The one-connection baseline first.
BENCHMARK(BM_FanOut)->Args({1, 0})->Args({4, 0})->Args({4, 1})->Iterations(1)->UseRealTime()->Unit(
    benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
