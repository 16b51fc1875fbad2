#include "platform/System.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace platform {

std::string HostName() {
  char name[256];
  if (gethostname(name, sizeof name) != 0) return {};
  name[sizeof name - 1] = '\0';
  return name;
}

uint32_t ProcessId() { return static_cast<uint32_t>(getpid()); }

LocalTime LocalTimeNow() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  tm parts;
  localtime_r(&ts.tv_sec, &parts);
  return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_wday,
                   parts.tm_hour,        parts.tm_min,     parts.tm_sec,
                   static_cast<int>(ts.tv_nsec / 1'000'000)};
}

std::string TempFolder() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  if (path.back() != '/') path.push_back('/');
  return path;
}

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool CopyFileOverwrite(const std::string& from, const std::string& to) {
  Fd in(open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return false;
  struct stat st;
  if (fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;

  // Copy into a sibling and rename it over the target, so a failed copy
  // never leaves a truncated file under the target's name.
  std::string temp = to + ".copyXXXXXX";
  Fd out(mkstemp(temp.data()));
  if (out.get() < 0) return false;
  std::vector<char> buf(1 << 16);
  bool ok = true;
  for (;;) {
    ssize_t n = read(in.get(), buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    if (!WriteAll(out.get(), buf.data(), static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  ok = ok && fchmod(out.get(), st.st_mode & 07777) == 0;
  ok = ok && fsync(out.get()) == 0;
  ok = close(out.release()) == 0 && ok;
  ok = ok && rename(temp.c_str(), to.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

bool CreateOneDirectory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

char PathSeparator() { return '/'; }

}  // namespace platform
