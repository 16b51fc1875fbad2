#include "platform/LargeBlock.h"

#include <cstdlib>

namespace platform {

// Large pages on Windows need the lock-pages privilege, which a test
// engineer's account does not have: plain heap memory.
LargeBlock LargeBlock::Allocate(size_t size) {
  return LargeBlock(std::malloc(size == 0 ? 1 : size));
}

}  // namespace platform
