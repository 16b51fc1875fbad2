#include "platform/WriteBuffer.h"

namespace platform::detail {

bool FlushBuffer(std::vector<char>& buffer, bool& failed, FileEnv& env, intptr_t handle) {
  if (!buffer.empty() && !failed) failed = !env.WriteAll(handle, buffer.data(), buffer.size());
  buffer.clear();
  return !failed;
}

bool BufferedWrite(std::vector<char>& buffer, bool& failed, FileEnv& env, intptr_t handle,
                   const void* data, std::size_t size) {
  if (failed) return false;
  const char* bytes = static_cast<const char*>(data);
  if (buffer.size() + size > kWriteBlockBytes) {
    if (!FlushBuffer(buffer, failed, env, handle)) return false;
    if (size >= kWriteBlockBytes) {
      failed = !env.WriteAll(handle, bytes, size);
      return !failed;
    }
  }
  buffer.insert(buffer.end(), bytes, bytes + size);
  return true;
}

}  // namespace platform::detail
