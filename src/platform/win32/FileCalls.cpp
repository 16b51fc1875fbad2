// The file calls under the portable writers, and the file facts of
// AtomicFile.h, over Win32.
#include "platform/FileCalls.h"

#include <windows.h>

#include <atomic>

#include "platform/AtomicFile.h"
#include "platform/win32/Handles.h"

namespace platform {

using win32::H;
using win32::ToHandle;

namespace detail {

intptr_t CreateExclusive(const std::string& path) {
  return ToHandle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

intptr_t CreateUniqueSibling(const std::string& prefix, std::string& path) {
  // CREATE_NEW refuses a name that someone else holds; the next serial is
  // tried then.
  static std::atomic<unsigned> serial{0};
  intptr_t handle = kNoFile;
  for (int attempt = 0; attempt < 100 && handle < 0; ++attempt) {
    path = prefix + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(serial++);
    handle = CreateExclusive(path);
    if (handle < 0 && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (handle < 0) path.clear();
  return handle;
}

intptr_t OpenForReading(const std::string& path) { return win32::OpenExisting(path, GENERIC_READ); }

bool IsRegular(intptr_t handle) { return GetFileType(H(handle)) == FILE_TYPE_DISK; }

bool WriteAll(intptr_t handle, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD n = 0;
    if (!WriteFile(H(handle), data, chunk, &n, nullptr) || n == 0) return false;
    data += n;
    size -= n;
  }
  return true;
}

int64_t ReadSome(intptr_t handle, char* data, std::size_t size) {
  const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  DWORD n = 0;
  if (!ReadFile(H(handle), data, chunk, &n, nullptr)) return -1;
  return static_cast<int64_t>(n);
}

bool Sync(intptr_t handle) { return FlushFileBuffers(H(handle)) != 0; }

bool CloseFile(intptr_t handle) { return CloseHandle(H(handle)) != 0; }

// Windows files have no permission bits to set.
bool SetModeWhileOpen(intptr_t, int) { return true; }

void SetModeWhenClosed(const std::string& path, int mode) {
  if (mode >= 0 && (mode & 0200) == 0) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
}

// MoveFileEx rather than ReplaceFile, which would keep the target's security
// but takes the target away for a moment. A target that another program
// holds open without sharing its deletion refuses the move: it is tried
// again for a while before the save fails.
bool RenameOver(const std::string& from, const std::string& to) {
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    const DWORD error = GetLastError();
    if (attempt >= 200 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED))
      return false;
    Sleep(10);
  }
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

}  // namespace detail

bool IsReadableFile(const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  const intptr_t handle = detail::OpenForReading(path);
  if (handle < 0) return false;
  const bool disk = detail::IsRegular(handle);
  detail::CloseFile(handle);
  return disk;
}

bool RemoveFileName(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

// Links are rare on Windows and need rights to make; a save replaces the
// name it was given.
std::string FinalLinkTarget(const std::string& path) { return path; }

unsigned FileModeOr(const std::string& path, unsigned fallback) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return fallback;
  return (attributes & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u;
}

}  // namespace platform
