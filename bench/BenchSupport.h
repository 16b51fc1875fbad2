// Small measuring aids the benchmarks share: the process's memory figures
// from /proc, file sizes, and the ParameterDefaults row the configuration
// builder writes for one parameter, in SQLite's form for the baselines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace benchsupport {

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
