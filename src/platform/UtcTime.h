// Wall-clock time as the JSON files of both programs write it.
//
// Thread safety: pure functions, apart from reading the system clock.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// "2026-12-09T10:15:02.123Z" for `ms` since 1970-01-01 UTC.
std::string UtcTimeText(int64_t ms);

// Milliseconds since 1970-01-01 UTC, now.
int64_t WallClockNowMs();

}  // namespace platform
