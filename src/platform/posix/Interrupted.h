// The one policy for system calls that a signal interrupts (EINTR): call
// again, unless the signal was a termination request. The handlers install
// without SA_RESTART precisely so that a call stuck on a slow device or a
// pipe returns and lets the program end; every other signal (a resize, a
// child ending) is no reason to fail an open, a read or a write.
#pragma once

#include <cerrno>

#include "platform/Termination.h"

namespace platform::posix {

// `call` returns a negative value with errno set on failure.
template <typename Call>
auto RetryInterrupted(Call call) -> decltype(call()) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR || TerminationRequested()) return result;
  }
}

}  // namespace platform::posix
