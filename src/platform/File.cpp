// What File does the same way on every system, over the file calls of
// FileCalls.h; opening, positions and sizes are in posix/ and win32/.
#include "platform/File.h"

#include <utility>

#include "platform/FileCalls.h"

namespace platform {

File::~File() { Close(); }

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, kNoHandle)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kNoHandle);
  }
  return *this;
}

bool File::Close() {
  if (!IsOpen()) return false;
  const bool closed = detail::CloseFile(handle_);
  handle_ = kNoHandle;
  return closed;
}

int64_t File::Read(void* buffer, uint32_t length) {
  if (!IsOpen()) return -1;
  return detail::ReadSome(handle_, static_cast<char*>(buffer), length);
}

}  // namespace platform
