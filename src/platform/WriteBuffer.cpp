#include "platform/WriteBuffer.h"

namespace platform::detail {

bool FlushBuffer(std::vector<char>& buffer, bool& failed, intptr_t handle, WriteAllFn writeAll) {
  if (!buffer.empty() && !failed) failed = !writeAll(handle, buffer.data(), buffer.size());
  buffer.clear();
  return !failed;
}

bool BufferedWrite(std::vector<char>& buffer, bool& failed, intptr_t handle, WriteAllFn writeAll,
                   const void* data, std::size_t size) {
  if (failed) return false;
  const char* bytes = static_cast<const char*>(data);
  if (buffer.size() + size > kWriteBlockBytes) {
    if (!FlushBuffer(buffer, failed, handle, writeAll)) return false;
    if (size >= kWriteBlockBytes) {
      failed = !writeAll(handle, bytes, size);
      return !failed;
    }
  }
  buffer.insert(buffer.end(), bytes, bytes + size);
  return true;
}

}  // namespace platform::detail
