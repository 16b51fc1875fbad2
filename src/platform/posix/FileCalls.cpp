// The file calls under the portable writers, and the file facts of
// AtomicFile.h, over POSIX.
#include "platform/FileCalls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/posix/Interrupted.h"

namespace platform {

namespace {

int Fd(intptr_t handle) { return static_cast<int>(handle); }

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

}  // namespace

namespace detail {

intptr_t CreateExclusive(const std::string& path) {
  // O_EXCL refuses any existing name, a dangling link included; O_NOFOLLOW
  // says the same for readers of this code.
  return posix::RetryInterrupted([&] {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  });
}

intptr_t CreateUniqueSibling(const std::string& prefix, std::string& path) {
  path = prefix + "XXXXXX";
  const int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) path.clear();
  return fd;
}

intptr_t OpenForReading(const std::string& path) {
  return posix::RetryInterrupted([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); });
}

bool IsRegular(intptr_t handle) {
  struct stat st;
  return ::fstat(Fd(handle), &st) == 0 && S_ISREG(st.st_mode);
}

bool WriteAll(intptr_t handle, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = posix::RetryInterrupted([&] { return ::write(Fd(handle), data, size); });
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

int64_t ReadSome(intptr_t handle, char* data, std::size_t size) {
  return posix::RetryInterrupted([&] { return ::read(Fd(handle), data, size); });
}

bool Sync(intptr_t handle) { return ::fsync(Fd(handle)) == 0; }

bool CloseFile(intptr_t handle) { return ::close(Fd(handle)) == 0; }

bool SetModeWhileOpen(intptr_t handle, int mode) {
  const mode_t bits = mode < 0 ? 0666 & ~CurrentUmask() : static_cast<mode_t>(mode) & 07777;
  return ::fchmod(Fd(handle), bits) == 0;
}

void SetModeWhenClosed(const std::string&, int) {}

bool RenameOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

}  // namespace detail

bool IsReadableFile(const std::string& path) {
  if (path.empty()) return false;
  const intptr_t fd = detail::OpenForReading(path);
  if (fd < 0) return false;
  const bool regular = detail::IsRegular(fd);
  detail::CloseFile(fd);
  return regular;
}

bool RemoveFileName(const std::string& path) { return ::unlink(path.c_str()) == 0; }

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
    current = !next.empty() && next[0] == '/' ? next : detail::FolderOf(current) + next;
  }
  return "";
}

unsigned FileModeOr(const std::string& path, unsigned fallback) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return fallback;
  return static_cast<unsigned>(st.st_mode & 07777);
}

}  // namespace platform
