#include "templatelib/DebugOut.h"

#include <cstdio>
#include <cwchar>
#include <vector>

#include "platform/DebugOutput.h"

void DebugOutV(const char* format, va_list args) {
  if (format == nullptr) return;
  char buffer[kDebugOutBufferSize];
  // vsnprintf always terminates and keeps at most size - 1 characters.
  if (std::vsnprintf(buffer, sizeof buffer, format, args) < 0) return;
  platform::WriteDebugString(buffer);
}

void DebugOut(const char* format, ...) {
  va_list args;
  va_start(args, format);
  DebugOutV(format, args);
  va_end(args);
}

void DebugOutVW(const wchar_t* format, va_list args) {
  if (format == nullptr) return;
  // vswprintf fails outright on a message that does not fit, so a long
  // message is formatted into a larger buffer first and then cut to the
  // same 4,095 characters as the narrow twin.
  std::vector<wchar_t> buffer(kDebugOutBufferSize);
  constexpr size_t kLargestAttempt = 1u << 20;
  for (;;) {
    va_list attempt;
    va_copy(attempt, args);
    int written = std::vswprintf(buffer.data(), buffer.size(), format, attempt);
    va_end(attempt);
    if (written >= 0) break;
    if (buffer.size() >= kLargestAttempt) return;  // an encoding error, not a length
    buffer.assign(buffer.size() * 4, L'\0');
  }
  buffer[kDebugOutBufferSize - 1] = L'\0';
  platform::WriteDebugStringW(buffer.data());
}

void DebugOutW(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  DebugOutVW(format, args);
  va_end(args);
}
