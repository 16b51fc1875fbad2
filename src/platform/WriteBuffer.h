// The block buffering both file writers share on every system: small writes
// collect into 64 KiB blocks, a write larger than a block goes straight
// through, and the first failure sticks, so a caller checks once at the end.
//
// `env` does the writing ("write all of this or fail" on a handle).
//
// Thread safety: one writer, one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/FileEnv.h"

namespace platform::detail {

inline constexpr std::size_t kWriteBlockBytes = 1 << 16;

// Adds `size` bytes; false once any write has failed.
bool BufferedWrite(std::vector<char>& buffer, bool& failed, FileEnv& env, intptr_t handle,
                   const void* data, std::size_t size);
// Writes what is buffered; false once any write has failed.
bool FlushBuffer(std::vector<char>& buffer, bool& failed, FileEnv& env, intptr_t handle);

}  // namespace platform::detail
