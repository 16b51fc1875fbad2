// The library's diagnostics as the shell shows them.
//
// The library writes one message per fault, and some faults repeat once
// per row (an unknown column in a select of 262,144 rows would print
// 262,144 lines). The shell shows each distinct message once, with the
// number of times it came. Load timings and the index's bin-size alerts
// are not faults; they are shown only with -v.
//
// Thread safety: pure functions; Show writes to the given stream.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace configsql {

// True for a message that reports no fault (timings, tuning alerts).
bool IsNoise(std::string_view message);

// The messages worth showing: noise dropped unless `verbose`, repeats
// folded into their first occurrence with " (N times)". Each without its
// line ending.
std::vector<std::string> Summarise(const std::vector<std::string>& messages, bool verbose);

// Writes Summarise(...) to `out`, each line after `indent`.
void Show(std::FILE* out, const std::vector<std::string>& messages, bool verbose,
          const char* indent = "");

}  // namespace configsql
