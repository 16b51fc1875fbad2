#include "platform/System.h"

#include <winsock2.h>
// winsock2.h must come before windows.h.
#include <windows.h>

#include "platform/Socket.h"

namespace platform {

std::string HostName() {
  // gethostname is a Winsock call: the library must be started first. The
  // start is kept for the process, as later sockets need it anyway.
  static const bool started = StartSocketInterface();
  if (!started) return {};
  char name[256];
  if (gethostname(name, sizeof name) != 0) return {};
  name[sizeof name - 1] = '\0';
  return name;
}

uint32_t ProcessId() { return static_cast<uint32_t>(GetCurrentProcessId()); }

LocalTime LocalTimeNow() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth,  t.wDay,    t.wDayOfWeek,
                   t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::string TempFolder() {
  char path[MAX_PATH + 2];
  DWORD n = GetTempPathA(sizeof path, path);
  if (n == 0 || n >= sizeof path) return ".\\";
  std::string folder(path, n);
  if (folder.back() != '\\' && folder.back() != '/') folder.push_back('\\');
  return folder;
}

bool CreateOneDirectory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

char PathSeparator() { return '\\'; }

}  // namespace platform
