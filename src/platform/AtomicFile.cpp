#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

constexpr std::size_t kBufferSize = 1 << 16;

bool WriteAllToFd(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

mode_t CurrentUmask() {
  // umask can only be read by setting it; done once, before any thread of
  // ours creates files with it.
  static const mode_t mask = [] {
    mode_t old = ::umask(022);
    ::umask(old);
    return old;
  }();
  return mask;
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return "";
  return path.substr(0, slash + 1);
}

}  // namespace

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

bool AtomicFileWriter::Open(const std::string& target) {
  Discard();
  failed_ = false;
  target_ = target;
  // The temporary sits beside the target so that the rename never crosses
  // a file system; mkstemp creates it exclusively.
  std::size_t slash = target.find_last_of('/');
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  tempPath_ = FolderOf(target) + "." + name + ".saveXXXXXX";
  fd_ = ::mkstemp(tempPath_.data());
  if (fd_ < 0) {
    tempPath_.clear();
    return false;
  }
  ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
  buffer_.clear();
  buffer_.reserve(kBufferSize);
  return true;
}

bool AtomicFileWriter::Flush() {
  if (!buffer_.empty() && !failed_) failed_ = !WriteAllToFd(fd_, buffer_.data(), buffer_.size());
  buffer_.clear();
  return !failed_;
}

bool AtomicFileWriter::Write(const void* data, std::size_t size) {
  if (fd_ < 0 || failed_) return false;
  const char* bytes = static_cast<const char*>(data);
  if (buffer_.size() + size > kBufferSize) {
    if (!Flush()) return false;
    if (size >= kBufferSize) {
      failed_ = !WriteAllToFd(fd_, bytes, size);
      return !failed_;
    }
  }
  buffer_.insert(buffer_.end(), bytes, bytes + size);
  return true;
}

bool AtomicFileWriter::Commit() {
  if (fd_ < 0) return false;
  bool ok = Flush();
  struct stat st;
  mode_t mode = 0666 & ~CurrentUmask();
  if (::stat(target_.c_str(), &st) == 0) mode = st.st_mode & 07777;
  ok = ok && ::fchmod(fd_, mode) == 0;
  ok = ok && ::fsync(fd_) == 0;
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  ok = ok && ::rename(tempPath_.c_str(), target_.c_str()) == 0;
  if (!ok) {
    ::unlink(tempPath_.c_str());
  }
  tempPath_.clear();
  return ok;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }
  buffer_.clear();
}

ExclusiveFileWriter::~ExclusiveFileWriter() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(path_.c_str());
  }
}

bool ExclusiveFileWriter::Create(const std::string& path) {
  if (fd_ >= 0) return false;
  // O_EXCL refuses any existing name, a dangling link included; O_NOFOLLOW
  // says the same for readers of this code.
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd_ < 0) return false;
  path_ = path;
  failed_ = false;
  return true;
}

bool ExclusiveFileWriter::Write(const void* data, std::size_t size) {
  if (fd_ < 0 || failed_) return false;
  failed_ = !WriteAllToFd(fd_, static_cast<const char*>(data), size);
  return !failed_;
}

bool ExclusiveFileWriter::Close() {
  if (fd_ < 0) return false;
  bool ok = !failed_;
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  if (!ok) ::unlink(path_.c_str());
  return ok;
}

bool ReplaceFileWithCopy(const std::string& source, const std::string& target) {
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  AtomicFileWriter out;
  bool ok = out.Open(target);
  std::vector<char> chunk(kBufferSize);
  while (ok) {
    ssize_t n = ::read(in, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    ok = out.Write(chunk.data(), static_cast<std::size_t>(n));
  }
  ::close(in);
  return ok && out.Commit();
}

bool IsReadableFile(const std::string& path) {
  if (path.empty()) return false;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return regular;
}

bool RemoveFileName(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace platform
