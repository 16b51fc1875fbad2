#include "io/utFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace io {

utFile::~utFile() {
  if (fd_ >= 0) ::close(fd_);
}

int utFile::Open(const std::string& path, int32_t mode, uint32_t /*attributes*/) {
  int flags = 0;
  switch (mode) {
    case kModeRead:
      flags = O_RDONLY;
      break;
    case kModeReadWrite:
      flags = O_RDWR;
      break;
    case kModeWrite:
      flags = O_WRONLY;
      break;
    default:
      return 1;
  }
  if (fd_ >= 0) Close();
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return 1;
  struct stat info;
  // A folder opens for reading on POSIX but yields only read errors.
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return 1;
  }
  fd_ = fd;
  return 0;
}

int utFile::Read(void* buffer, uint32_t length, uint32_t& bytesRead) {
  bytesRead = 0;
  if (fd_ < 0) return 1;
  ssize_t n;
  do {
    n = ::read(fd_, buffer, length);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return 1;
  bytesRead = static_cast<uint32_t>(n);
  return 0;
}

int utFile::Close() {
  if (fd_ < 0) return 1;
  const int result = ::close(fd_);
  fd_ = -1;
  return result == 0 ? 0 : 1;
}

int64_t utFile::GetPosition64() {
  if (fd_ < 0) return -1;
  return static_cast<int64_t>(::lseek(fd_, 0, SEEK_CUR));
}

int utFile::Seek64(int32_t origin, int64_t offset) {
  int whence;
  switch (origin) {
    case kOriginStart:
      whence = SEEK_SET;
      break;
    case kOriginEnd:
      whence = SEEK_END;
      break;
    case kOriginCurrent:
      whence = SEEK_CUR;
      break;
    default:
      return 1;
  }
  if (fd_ < 0) return 1;
  return ::lseek(fd_, static_cast<off_t>(offset), whence) < 0 ? 1 : 0;
}

int utFile::GetSize64(int64_t& size) const {
  size = 0;
  struct stat info;
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) return 1;
  size = static_cast<int64_t>(info.st_size);
  return 0;
}

}  // namespace io
