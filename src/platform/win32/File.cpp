#include "platform/File.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/win32/Handles.h"

namespace platform {
namespace {

using win32::H;
using win32::OpenExisting;
using win32::ToHandle;

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool File::Open(const std::string& path, Access access, Status* reason) {
  Close();
  if (IsFolder(path)) {
    if (reason != nullptr) *reason = NotRegularFile(path, true);
    return false;
  }
  const DWORD rights = access == Access::kRead        ? GENERIC_READ
                       : access == Access::kReadWrite ? GENERIC_READ | GENERIC_WRITE
                                                      : GENERIC_WRITE;
  handle_ = OpenExisting(path, rights);
  if (!IsOpen() && reason != nullptr) *reason = SystemError(path, LastSystemError());
  return IsOpen();
}

File::OpenResult File::OpenRegularForReading(const std::string& path, Status* reason) {
  Close();
  if (IsFolder(path)) {
    if (reason != nullptr) *reason = NotRegularFile(path, true);
    return OpenResult::kNotRegular;
  }
  intptr_t handle = OpenExisting(path, GENERIC_READ);
  if (handle == kNoHandle) {
    if (reason != nullptr) *reason = SystemError(path, LastSystemError());
    return OpenResult::kCannotOpen;
  }
  if (GetFileType(H(handle)) != FILE_TYPE_DISK) {
    CloseHandle(H(handle));
    if (reason != nullptr) *reason = NotRegularFile(path, false);
    return OpenResult::kNotRegular;
  }
  handle_ = handle;
  return OpenResult::kOpened;
}

int64_t File::Position() const {
  if (!IsOpen()) return -1;
  LARGE_INTEGER zero{};
  LARGE_INTEGER at;
  if (!SetFilePointerEx(H(handle_), zero, &at, FILE_CURRENT)) return -1;
  return static_cast<int64_t>(at.QuadPart);
}

bool File::Seek(Origin origin, int64_t offset) {
  if (!IsOpen()) return false;
  const DWORD method = origin == Origin::kStart ? FILE_BEGIN
                       : origin == Origin::kEnd ? FILE_END
                                                : FILE_CURRENT;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return SetFilePointerEx(H(handle_), distance, nullptr, method) != 0;
}

bool File::Size(int64_t& size) const {
  size = 0;
  LARGE_INTEGER bytes;
  if (!IsOpen() || !GetFileSizeEx(H(handle_), &bytes)) return false;
  size = static_cast<int64_t>(bytes.QuadPart);
  return true;
}

namespace {

// The C runtime's errno for a failed CreateFile, as its own fopen would set
// it, so that callers report stream failures alike on every system.
void SetErrnoFromSystem() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      errno = ENOENT;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      errno = EACCES;
      break;
    case ERROR_INVALID_NAME:
      errno = EINVAL;
      break;
    case ERROR_TOO_MANY_OPEN_FILES:
      errno = EMFILE;
      break;
    case ERROR_DISK_FULL:
      errno = ENOSPC;
      break;
    default:
      errno = EIO;
      break;
  }
}

// A C stream over `handle`, which it then owns; null (the handle closed)
// when the runtime refuses it.
std::FILE* StreamOver(intptr_t handle, int flags, const char* mode) {
  if (handle < 0) {
    SetErrnoFromSystem();
    return nullptr;
  }
  const int fd = _open_osfhandle(handle, flags);
  if (fd < 0) {
    CloseHandle(H(handle));
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, mode);
  if (stream == nullptr) _close(fd);  // closes the handle too
  return stream;
}

intptr_t CreateShared(const std::string& path, DWORD disposition) {
  return ToHandle(CreateFileA(path.c_str(), GENERIC_WRITE, win32::kShareAll, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

std::FILE* OpenStreamForReading(const std::string& path, const char* mode) {
  const int flags = _O_RDONLY | (std::strchr(mode, 'b') != nullptr ? _O_BINARY : _O_TEXT);
  return StreamOver(OpenExisting(path, GENERIC_READ), flags, mode);
}

std::FILE* OpenStreamForAppending(const std::string& path) {
  return StreamOver(CreateShared(path, OPEN_ALWAYS), _O_WRONLY | _O_APPEND | _O_BINARY, "ab");
}

std::FILE* OpenStreamForWriting(const std::string& path) {
  return StreamOver(CreateShared(path, CREATE_ALWAYS), _O_WRONLY | _O_BINARY, "wb");
}

bool IsRegularFile(std::FILE* file) {
  if (file == nullptr) return false;
  const intptr_t handle = _get_osfhandle(_fileno(file));
  return handle != -1 && GetFileType(H(handle)) == FILE_TYPE_DISK;
}

bool SameFile(const std::string& a, const std::string& b) {
  auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = CreateFileA(path.c_str(), 0, win32::kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
  };
  BY_HANDLE_FILE_INFORMATION ia;
  BY_HANDLE_FILE_INFORMATION ib;
  if (!identity(a, ia) || !identity(b, ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace platform
