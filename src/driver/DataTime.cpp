#include "driver/DataTime.h"

#include "templatelib/tString.h"

namespace driver {

int64_t CustomDataTimeNs(uint32_t timeTick) {
  return kOneDayNs + static_cast<int64_t>(timeTick) * kTimeTickNs;
}

uint32_t StartTimeTick(int32_t jumpToggle, bool timeGap, uint32_t currentTick) {
  if (jumpToggle == 1) return kTimeJumpTicks;
  if (timeGap) return currentTick * 2u;
  return 0;
}

bool TimeTextCallsForDoubling(const std::string& text) {
  return tString::FindNoCase(text.c_str(), "5:") >= 0;
}

std::string DataTimeText(int64_t nanoseconds) {
  tString text;
  text.FormatTime(nanoseconds, 3, 1);
  return text.IsNull() ? std::string() : std::string(text.Text());
}

}  // namespace driver
