#include "platform/DebugOutput.h"

#include <syslog.h>

#include <climits>
#include <cwchar>
#include <mutex>
#include <string>

namespace platform {
namespace {

std::mutex& SinkMutex() {
  static std::mutex m;
  return m;
}

DebugSink& CurrentSink() {
  static DebugSink sink;
  return sink;
}

void DefaultSink(std::string_view message) {
  syslog(LOG_DEBUG, "%.*s", static_cast<int>(message.size()), message.data());
}

}  // namespace

DebugSink SetDebugSink(DebugSink sink) {
  std::lock_guard lock(SinkMutex());
  DebugSink previous = std::move(CurrentSink());
  CurrentSink() = std::move(sink);
  return previous;
}

void WriteDebugString(const char* message) {
  if (message == nullptr) return;
  std::lock_guard lock(SinkMutex());
  if (CurrentSink()) {
    CurrentSink()(message);
  } else {
    DefaultSink(message);
  }
}

void WriteDebugStringW(const wchar_t* message) {
  if (message == nullptr) return;
  std::string narrow;
  std::mbstate_t state{};
  char buf[MB_LEN_MAX];
  for (const wchar_t* p = message; *p != L'\0'; ++p) {
    size_t n = std::wcrtomb(buf, *p, &state);
    if (n == static_cast<size_t>(-1)) {
      narrow.push_back('?');
      state = std::mbstate_t{};
    } else {
      narrow.append(buf, n);
    }
  }
  WriteDebugString(narrow.c_str());
}

}  // namespace platform
