#include "platform/System.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

namespace platform {

std::string HostName() {
  char name[256];
  if (gethostname(name, sizeof name) != 0) return {};
  name[sizeof name - 1] = '\0';
  return name;
}

uint32_t ProcessId() { return static_cast<uint32_t>(getpid()); }

LocalTime LocalTimeNow() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  tm parts;
  localtime_r(&ts.tv_sec, &parts);
  return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1,
                   parts.tm_mday,        parts.tm_wday,
                   parts.tm_hour,        parts.tm_min,
                   parts.tm_sec,         static_cast<int>(ts.tv_nsec / 1'000'000)};
}

std::string TempFolder() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  if (path.back() != '/') path.push_back('/');
  return path;
}

bool CreateOneDirectory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

char PathSeparator() { return '/'; }

}  // namespace platform
