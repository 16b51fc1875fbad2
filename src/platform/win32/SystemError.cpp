// The one mapping from a Windows error code to a Status. The C runtime's
// errno values (fopen and friends) are told apart by the caller: they go
// through SystemError too, and the small numbers they use are mapped to the
// matching system words here.
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/Status.h"

namespace platform {
namespace {

bool IsMissing(int errorNumber) {
  return errorNumber == ERROR_FILE_NOT_FOUND || errorNumber == ERROR_PATH_NOT_FOUND;
}

}  // namespace

std::string SystemErrorText(int errorNumber) {
  if (IsMissing(errorNumber)) return "does not exist";
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(errorNumber), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<char*>(&text), 0, nullptr);
  std::string words;
  if (n != 0 && text != nullptr) words.assign(text, n);
  if (text != nullptr) LocalFree(text);
  // The system's text ends in ".\r\n"; a message line carries its own end.
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ' ||
                            words.back() == '.')) {
    words.pop_back();
  }
  if (words.empty()) return "system error " + std::to_string(errorNumber);
  return words;
}

Status SystemError(std::string_view subject, int errorNumber) {
  std::string message(subject);
  message += ": ";
  message += SystemErrorText(errorNumber);
  if (IsMissing(errorNumber)) return Status::NotFound(std::move(message));
  if (errorNumber == ERROR_INVALID_PARAMETER) return Status::InvalidArgument(std::move(message));
  return Status::IoError(std::move(message));
}

int LastSystemError() { return static_cast<int>(GetLastError()); }

int SystemErrorNumber(SystemFailure failure) {
  switch (failure) {
    case SystemFailure::kDiskFull:
      return ERROR_DISK_FULL;
    case SystemFailure::kAccessDenied:
      return ERROR_ACCESS_DENIED;
    case SystemFailure::kIoFailure:
      break;
  }
  return ERROR_WRITE_FAULT;
}

void SetLastSystemError(int errorNumber) { SetLastError(static_cast<DWORD>(errorNumber)); }

}  // namespace platform

namespace platform {

Status CRuntimeError(std::string_view subject, int errnoValue) {
  std::string message(subject);
  message += ": ";
  if (errnoValue == ENOENT) {
    message += "does not exist";
    return Status::NotFound(std::move(message));
  }
  const char* text = std::strerror(errnoValue);
  message += (text != nullptr && *text != '\0') ? text : "error " + std::to_string(errnoValue);
  return Status::IoError(std::move(message));
}

}  // namespace platform
