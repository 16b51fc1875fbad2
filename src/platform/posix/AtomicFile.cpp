#include "platform/AtomicFile.h"
#include "platform/WriteBuffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

constexpr std::size_t kBufferSize = detail::kWriteBlockBytes;

bool WriteAllToFd(intptr_t fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(static_cast<int>(fd), data, size);
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

bool AtomicFileWriter::Failed(const std::string& subject) {
  if (error_.ok()) error_ = SystemError(subject, errno);
  return false;
}

bool AtomicFileWriter::Open(const std::string& target) {
  Discard();
  failed_ = false;
  error_ = Status::Ok();
  target_ = target;
  // The temporary sits beside the target so that the rename never crosses
  // a file system; mkstemp creates it exclusively.
  std::size_t slash = target.find_last_of('/');
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  tempPath_ = FolderOf(target) + "." + name + ".saveXXXXXX";
  fd_ = ::mkstemp(tempPath_.data());
  if (fd_ < 0) {
    tempPath_.clear();
    // The folder is what refused: missing, read-only or full.
    const std::string folder = FolderOf(target);
    return Failed(folder.empty() ? "." : folder);
  }
  ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
  buffer_.clear();
  buffer_.reserve(kBufferSize);
  return true;
}

bool AtomicFileWriter::Flush() {
  return detail::FlushBuffer(buffer_, failed_, fd_, WriteAllToFd) || Failed(target_);
}

bool AtomicFileWriter::Write(const void* data, std::size_t size) {
  return fd_ >= 0 && (detail::BufferedWrite(buffer_, failed_, fd_, WriteAllToFd, data, size) ||
                      Failed(target_));
}

bool AtomicFileWriter::Commit() {
  if (fd_ < 0) return false;
  bool ok = Flush();
  struct stat st;
  mode_t mode = 0666 & ~CurrentUmask();
  if (::stat(target_.c_str(), &st) == 0) mode = st.st_mode & 07777;
  ok = ok && (::fchmod(fd_, mode) == 0 || Failed(target_));
  ok = ok && (::fsync(fd_) == 0 || Failed(target_));
  ok = (::close(fd_) == 0 || Failed(target_)) && ok;
  fd_ = -1;
  ok = ok && (::rename(tempPath_.c_str(), target_.c_str()) == 0 || Failed(target_));
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
  if (fd_ >= 0 || created_) Remove();
}

bool ExclusiveFileWriter::Create(const std::string& path, int mode) {
  if (fd_ >= 0 || created_) return false;
  // O_EXCL refuses any existing name, a dangling link included; O_NOFOLLOW
  // says the same for readers of this code. The file starts owner-only and
  // gets its bits once it is ours, so it is never readable by more people
  // than asked, whatever the umask.
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd_ < 0) return false;
  path_ = path;
  created_ = true;
  const mode_t bits = mode < 0 ? 0666 & ~CurrentUmask() : static_cast<mode_t>(mode) & 07777;
  failed_ = ::fchmod(fd_, bits) != 0;
  buffer_.clear();
  buffer_.reserve(kBufferSize);
  if (failed_) Remove();
  return !failed_;
}

bool ExclusiveFileWriter::Flush() { return detail::FlushBuffer(buffer_, failed_, fd_, WriteAllToFd); }

bool ExclusiveFileWriter::Write(const void* data, std::size_t size) {
  return fd_ >= 0 && detail::BufferedWrite(buffer_, failed_, fd_, WriteAllToFd, data, size);
}

bool ExclusiveFileWriter::Close() {
  if (fd_ < 0) return false;
  bool ok = Flush();
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  if (!ok) {
    Remove();
  } else {
    created_ = false;  // the file is the caller's now
  }
  return ok;
}

void ExclusiveFileWriter::Remove() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (created_ || !path_.empty()) ::unlink(path_.c_str());
  created_ = false;
  path_.clear();
  buffer_.clear();
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

bool AppendFileTo(const std::string& source, ExclusiveFileWriter& out) {
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  bool ok = ::fstat(in, &st) == 0 && S_ISREG(st.st_mode);
  std::vector<char> chunk(ok ? kBufferSize : 0);
  while (ok) {
    ssize_t n = ::read(in, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    ok = out.Write(chunk.data(), static_cast<std::size_t>(n));
  }
  ::close(in);
  return ok;
}

std::string FinalLinkTarget(const std::string& path) {
  constexpr int kMaxLinks = 40;  // as the kernel's own limit on a lookup
  std::string current = path;
  for (int i = 0; i <= kMaxLinks; ++i) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) >= target.size()) return "";
    std::string next(target.data(), static_cast<std::size_t>(n));
    current = !next.empty() && next[0] == '/' ? next : FolderOf(current) + next;
  }
  return "";
}

unsigned FileModeOr(const std::string& path, unsigned fallback) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return fallback;
  return static_cast<unsigned>(st.st_mode & 07777);
}

}  // namespace platform
