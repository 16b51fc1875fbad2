#include "OutputTarget.h"

#include <cerrno>

#include "platform/File.h"

namespace configsql {

platform::Status OutputTarget::Close() {
  if (file_ == nullptr) return platform::Status::Ok();
  const bool failed = std::ferror(file_) != 0;
  const int closed = std::fclose(file_);
  file_ = nullptr;
  if (failed || closed != 0) return platform::CRuntimeError(path_, errno);
  return platform::Status::Ok();
}

platform::Status OutputTarget::Redirect(const std::string& path, bool once) {
  platform::Status closed = Close();
  once_ = false;
  if (!closed.ok() || path.empty()) return closed;
  file_ = platform::OpenStreamForWriting(path);
  if (file_ == nullptr) return platform::CRuntimeError(path, errno);
  path_ = path;
  once_ = once;
  armed_ = false;
  return platform::Status::Ok();
}

platform::Status OutputTarget::CommandDone() {
  std::fflush(stream());
  if (!once_) return platform::Status::Ok();
  if (!armed_) {
    armed_ = true;
    return platform::Status::Ok();
  }
  once_ = false;
  return Close();
}

}  // namespace configsql
