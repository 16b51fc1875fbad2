// Facts about the machine and the process: host name, process id, local
// time, and the files services the library needs (temporary folder,
// directory creation).
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The host name, or an empty text when it cannot be had.
std::string HostName();
uint32_t ProcessId();

struct LocalTime {
  int year;         // e.g. 2026
  int month;        // 1..12
  int day;          // 1..31
  int dayOfWeek;    // 0 = Sunday
  int hour;         // 0..23
  int minute;       // 0..59
  int second;       // 0..59
  int millisecond;  // 0..999
};
LocalTime LocalTimeNow();

// The temporary folder, always ending in a separator: TMPDIR, else "/tmp/",
// on POSIX; GetTempPathA on Windows.
std::string TempFolder();
// Creates one folder level; false when it exists or its parent is missing.
bool CreateOneDirectory(const std::string& path);

// The folder separator of the platform's own paths: '\\' on Windows, '/'
// elsewhere. Both are accepted when reading a path on Windows.
char PathSeparator();
// `folder` and `name` joined by the platform's separator, as the tool shows
// and opens its output files: ".\YEBFiles\zarnYEB.prn" on Windows.
inline std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder + PathSeparator() + name;
}

}  // namespace platform
