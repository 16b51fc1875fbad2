// Small measuring aids the benchmarks share: the process's memory figures
// from /proc, file sizes, the ParameterDefaults row the configuration
// builder writes for one parameter, in SQLite's form for the baselines, and
// a signals file that gives every pattern a rate group.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace benchsupport {

// Every signal pattern on one rate group each of a table made of rate groups
// 200, 400, ... 1800.
constexpr char kSignalMix[] =
    "rate=200 constant value=3.5\n"
    "rate=400 sine amplitude=10 period=0.5\n"
    "rate=600 square low=0 high=100 period=10 duty=0.5\n"
    "rate=800 triangle min=-1 max=1 period=2\n"
    "rate=1200 sawtooth period=1\n"
    "rate=1400 steps values=1,2,3,4 hold=0.1\n"
    "rate=1600 random min=-5 max=5\n"
    "rate=1800 special\n";  // rate 1000 keeps the counter

// A "VmHWM:"-style field of /proc/self/status, in kB (0 when missing).
inline int64_t StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stoll(line.substr(std::strlen(field)));
  }
  return 0;
}

// Starts the peak resident figure (VmHWM) again from the current size.
inline void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

inline int64_t FileSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return static_cast<int64_t>(in.tellg());
}

// The 69 values of parameter n's ParameterDefaults row as SQL literals.
inline std::string SqliteParameterValues(int n, double rate) {
  char text[512];
  std::snprintf(text, sizeof text,
                "'PS1','Parm%d','float','Group','SubGroup','Parm%d','Parm%d','','','','TPP','',"
                "'%f'",
                n, n, n, rate);
  std::string values = text;
  for (int i = 13; i < 69; ++i) values += ",''";
  return values;
}

}  // namespace benchsupport
