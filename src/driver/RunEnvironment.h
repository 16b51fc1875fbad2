// What the run sequence and the streaming loop take from their surroundings:
// where messages go, where key presses come from, and the clock that paces
// the packets. The program passes standard output, the console and the
// system clock; tests pass a captured text, scripted keys and a fake clock.
//
// Thread safety: main thread only.
#pragma once

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/TextOut.h"

namespace driver {

struct RunEnvironment {
  platform::TextOut& out;
  platform::KeySource& keys;
  platform::Clock& clock;
};

// True when a key press was pending; the key is consumed, so one press ends
// one transfer and does not also answer a later prompt.
bool TakeKeyPress(platform::KeySource& keys);

}  // namespace driver
