// The one mapping from errno to a Status on POSIX.
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/Status.h"

namespace platform {

std::string SystemErrorText(int errorNumber) {
  if (errorNumber == ENOENT) return "does not exist";
  // strerror_r's GNU form returns the text, which may not be `buffer`.
  char buffer[256] = {};
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
  const char* text = ::strerror_r(errorNumber, buffer, sizeof buffer);
#else
  const char* text = ::strerror_r(errorNumber, buffer, sizeof buffer) == 0 ? buffer : nullptr;
#endif
  if (text == nullptr || *text == '\0') return "system error " + std::to_string(errorNumber);
  return text;
}

Status SystemError(std::string_view subject, int errorNumber) {
  std::string message(subject);
  message += ": ";
  message += SystemErrorText(errorNumber);
  switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
      return Status::NotFound(std::move(message));
    case EINVAL:
      return Status::InvalidArgument(std::move(message));
    default:
      return Status::IoError(std::move(message));
  }
}

int LastSystemError() { return errno; }

int SystemErrorNumber(SystemFailure failure) {
  switch (failure) {
    case SystemFailure::kDiskFull:
      return ENOSPC;
    case SystemFailure::kAccessDenied:
      return EACCES;
    case SystemFailure::kIoFailure:
      break;
  }
  return EIO;
}

void SetLastSystemError(int errorNumber) { errno = errorNumber; }

}  // namespace platform

namespace platform {

Status CRuntimeError(std::string_view subject, int errnoValue) {
  return SystemError(subject, errnoValue);
}

}  // namespace platform
