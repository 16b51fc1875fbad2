// What the run sequence and the streaming loop take from their surroundings:
// where messages go, where key presses come from, and the clock that paces
// the packets. The program passes standard output, the console and the
// system clock; tests pass a captured text, scripted keys and a fake clock.
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/TextOut.h"

namespace driver {

inline constexpr int64_t kNoDeadline = -1;

struct RunEnvironment {
  platform::TextOut& out;
  platform::KeySource& keys;
  platform::Clock& clock;
  // /Duration: the time on `clock` at which the run ends, set at the first
  // connection; kNoDeadline until then and without the option.
  int64_t stopAtNs = kNoDeadline;
};

// True when a key press was pending; the key is consumed, so one press ends
// one transfer and does not also answer a later prompt.
bool TakeKeyPress(platform::KeySource& keys);

}  // namespace driver
