// printf-style diagnostics of the template library.
//
// Each call formats its message into a 4,096-byte buffer on the stack (at
// most 4,095 characters are kept; longer messages are cut, the buffer is
// always terminated) and hands it to the platform's debug-output channel
// (platform::WriteDebugString / WriteDebugStringW). Nothing goes to the
// console. Library messages begin with the class and operation they come
// from and end with "\n".
//
// Thread safety: any thread (the deleter threads report through it).
#pragma once

#include <cstdarg>
#include <cstddef>

#include "platform/PrintfFormat.h"

inline constexpr size_t kDebugOutBufferSize = 4096;

void DebugOut(const char* format, ...) YEB_PRINTF_FORMAT(1, 2);
void DebugOutV(const char* format, va_list args);

// The wide twin; the message reaches the sink converted to narrow text.
void DebugOutW(const wchar_t* format, ...);
void DebugOutVW(const wchar_t* format, va_list args);
