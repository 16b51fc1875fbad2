#include "platform/Status.h"

namespace platform {

Status Status::WithContext(std::string_view context) const {
  if (ok()) return *this;
  std::string message(context);
  message += ": ";
  message += message_;
  return Status(code_, std::move(message));
}

Status Status::WithMessage(std::string message) const {
  if (ok()) return *this;
  return Status(code_, std::move(message));
}

Status NotRegularFile(std::string_view path, bool isFolder) {
  std::string message(path);
  message += isFolder ? ": is a folder, not a file" : ": is not a regular file";
  return Status::InvalidArgument(std::move(message));
}

}  // namespace platform
