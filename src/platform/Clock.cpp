// The parts of Clock.h built only on the counter and the sleep of posix/
// and win32/.
#include "platform/Clock.h"

namespace platform {
namespace {

class RealClock final : public Clock {
 public:
  int64_t NowNs() override { return CounterNow(); }
  void SleepUntilNs(int64_t deadlineNs) override { SleepUntilCounter(deadlineNs); }
};

}  // namespace

void SleepMs(uint32_t ms) {
  SleepUntilCounter(CounterNow() + static_cast<int64_t>(ms) * 1'000'000);
}

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace platform
