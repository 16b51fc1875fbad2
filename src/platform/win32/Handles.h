// What the Windows file code shares: the conversion between a HANDLE and the
// intptr_t the portable headers keep (-1 for none), and how a file is opened
// for reading.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace platform::win32 {

inline HANDLE H(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
inline intptr_t ToHandle(HANDLE h) {
  return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(h);
}

// Readers share everything, deletion included, so that a file may be renamed
// or replaced while it is open, as on POSIX: a save into a file that another
// program is reading then succeeds.
inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

inline intptr_t OpenExisting(const std::string& path, DWORD access) {
  return ToHandle(CreateFileA(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace platform::win32
