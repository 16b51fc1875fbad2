#pragma once

// YEB_PRINTF_FORMAT(f, a): lets the compiler check a printf-style function's
// format string (argument f) against its arguments (from a). The Windows
// build uses the C99 printf family (__USE_MINGW_ANSI_STDIO), so the checks
// follow that family there rather than the older runtime's.
#if defined(__MINGW32__)
#define YEB_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define YEB_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#endif
