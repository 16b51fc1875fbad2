// The platform's own debugger-output call, behind DebugOutput's sink.
// Internal to the platform layer.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Hands one finished message to the debugger channel (OutputDebugStringA on
// Windows, syslog at debug level on POSIX, the nearest thing there).
void WriteToDebugger(std::string_view message);
// The wide twin (OutputDebugStringW on Windows).
void WriteWideToDebugger(const wchar_t* message);

// `message` in the narrow multibyte encoding; '?' for what it cannot show.
std::string NarrowText(const wchar_t* message);

}  // namespace platform
