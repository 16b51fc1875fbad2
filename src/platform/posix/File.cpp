#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/posix/Interrupted.h"

namespace platform {
namespace {

int Fd(intptr_t handle) { return static_cast<int>(handle); }

int OpenRetrying(const std::string& path, int flags) {
  return posix::RetryInterrupted([&] { return ::open(path.c_str(), flags | O_CLOEXEC); });
}

}  // namespace

bool File::Open(const std::string& path, Access access, Status* reason) {
  Close();
  const int flags = access == Access::kRead        ? O_RDONLY
                    : access == Access::kReadWrite ? O_RDWR
                                                   : O_WRONLY;
  int fd = OpenRetrying(path, flags);
  if (fd < 0) {
    if (reason != nullptr) *reason = SystemError(path, errno);
    return false;
  }
  struct stat info;
  // A folder opens for reading on POSIX but yields only read errors.
  const bool looked = ::fstat(fd, &info) == 0;
  if (!looked || S_ISDIR(info.st_mode)) {
    const int error = errno;
    ::close(fd);
    if (reason != nullptr) *reason = looked ? NotRegularFile(path, true) : SystemError(path, error);
    return false;
  }
  handle_ = fd;
  return true;
}

File::OpenResult File::OpenRegularForReading(const std::string& path, Status* reason) {
  Close();
  // O_NONBLOCK keeps a FIFO from hanging the open; it means nothing for a
  // regular file.
  int fd = OpenRetrying(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) {
    if (reason != nullptr) *reason = SystemError(path, errno);
    return OpenResult::kCannotOpen;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    if (reason != nullptr) *reason = NotRegularFile(path, S_ISDIR(st.st_mode));
    return OpenResult::kNotRegular;
  }
  handle_ = fd;
  return OpenResult::kOpened;
}

int64_t File::Position() const {
  if (!IsOpen()) return -1;
  return static_cast<int64_t>(::lseek(Fd(handle_), 0, SEEK_CUR));
}

bool File::Seek(Origin origin, int64_t offset) {
  if (!IsOpen()) return false;
  const int whence = origin == Origin::kStart ? SEEK_SET
                     : origin == Origin::kEnd ? SEEK_END
                                              : SEEK_CUR;
  return ::lseek(Fd(handle_), static_cast<off_t>(offset), whence) >= 0;
}

bool File::Size(int64_t& size) const {
  size = 0;
  struct stat info;
  if (!IsOpen() || ::fstat(Fd(handle_), &info) != 0) return false;
  size = static_cast<int64_t>(info.st_size);
  return true;
}

std::FILE* OpenStreamForReading(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

std::FILE* OpenStreamForAppending(const std::string& path) {
  return std::fopen(path.c_str(), "ab");
}

std::FILE* OpenStreamForWriting(const std::string& path) { return std::fopen(path.c_str(), "wb"); }

bool IsRegularFile(std::FILE* file) {
  struct stat st;
  return file != nullptr && ::fstat(::fileno(file), &st) == 0 && S_ISREG(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa;
  struct stat sb;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace platform
