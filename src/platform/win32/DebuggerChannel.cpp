#include "platform/DebuggerChannel.h"

#include <windows.h>

#include <string>

namespace platform {

void WriteToDebugger(std::string_view message) {
  const std::string text(message);  // the call wants a terminated string
  OutputDebugStringA(text.c_str());
}

void WriteWideToDebugger(const wchar_t* message) { OutputDebugStringW(message); }

}  // namespace platform
