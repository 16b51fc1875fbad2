// The data time that the streaming loop shows and the time options change.
//
// The Custom source's data time is one day plus `timeTick` in units of
// 100 us; /TimeJump adds 15 s every tenth cycle and decides through the jump
// toggle where the next transfer starts; /TimeGap doubles the time whenever
// its text shows a field ending in 5. The text is the day-and-time-of-day
// form with three fraction digits, e.g. 001:00:02:13.500.
//
// Pure functions, except DataTimeText, which formats with the template
// library's string.
#pragma once

#include <cstdint>
#include <string>

namespace driver {

inline constexpr int64_t kOneDayNs = 86'400'000'000'000;
inline constexpr int64_t kTimeTickNs = 100'000;
inline constexpr uint32_t kTimeJumpTicks = 150'000;  // 15 s of data time

// Nanoseconds of the Custom data time for `timeTick`.
int64_t CustomDataTimeNs(uint32_t timeTick);

// `timeTick` at the start of a transfer: 15 s after a jump, twice the last
// time under /TimeGap, else 0. Doubling wraps in 32 bits.
uint32_t StartTimeTick(int32_t jumpToggle, bool timeGap, uint32_t currentTick);

// True when the shown time has a field ending in 5 (the text holds "5:").
bool TimeTextCallsForDoubling(const std::string& text);

// "ddd:hh:mm:ss.mmm" for `nanoseconds`.
std::string DataTimeText(int64_t nanoseconds);

}  // namespace driver
