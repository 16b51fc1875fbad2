// The block buffering both file writers share on every system: small writes
// collect into 64 KiB blocks, a write larger than a block goes straight
// through, and the first failure sticks, so a caller checks once at the end.
//
// `writeAll` is the system's "write all of this or fail" on a handle.
//
// Thread safety: one writer, one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::detail {

inline constexpr std::size_t kWriteBlockBytes = 1 << 16;

using WriteAllFn = bool (*)(intptr_t handle, const char* data, std::size_t size);

// Adds `size` bytes; false once any write has failed.
bool BufferedWrite(std::vector<char>& buffer, bool& failed, intptr_t handle, WriteAllFn writeAll,
                   const void* data, std::size_t size);
// Writes what is buffered; false once any write has failed.
bool FlushBuffer(std::vector<char>& buffer, bool& failed, intptr_t handle, WriteAllFn writeAll);

}  // namespace platform::detail
