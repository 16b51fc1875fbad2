#include "platform/AtomicFile.h"
#include "platform/WriteBuffer.h"
#include "platform/win32/Handles.h"

#include <windows.h>

#include <atomic>

namespace platform {

namespace {

constexpr std::size_t kBufferSize = detail::kWriteBlockBytes;

using win32::H;
using win32::ToHandle;

bool WriteAllToHandle(intptr_t fd, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD n = 0;
    if (!WriteFile(H(fd), data, chunk, &n, nullptr) || n == 0) return false;
    data += n;
    size -= n;
  }
  return true;
}

intptr_t CreateNew(const std::string& path) {
  return ToHandle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

intptr_t OpenForReading(const std::string& path) {
  return win32::OpenExisting(path, GENERIC_READ);
}

bool IsDiskFile(intptr_t fd) { return GetFileType(H(fd)) == FILE_TYPE_DISK; }

std::size_t LastSeparator(const std::string& path) { return path.find_last_of("\\/"); }

// Copies everything readable from `in` to `out`.
template <typename Writer>
bool CopyHandleTo(intptr_t in, Writer& out) {
  std::vector<char> chunk(kBufferSize);
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(H(in), chunk.data(), static_cast<DWORD>(chunk.size()), &n, nullptr)) return false;
    if (n == 0) return true;
    if (!out.Write(chunk.data(), n)) return false;
  }
}

// A rename over the target, so that a reader finds either the old file or
// the new one and never none (ReplaceFile, which would keep the target's
// security, takes the target away for a moment). A target that another
// program holds open without sharing its deletion refuses the rename: it is
// tried again for a while before the save fails.
bool MoveIntoPlace(const std::string& from, const std::string& to) {
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    const DWORD error = GetLastError();
    if (attempt >= 200 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED))
      return false;
    Sleep(10);
  }
}

}  // namespace

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

bool AtomicFileWriter::Failed(const std::string& subject) {
  if (error_.ok()) error_ = SystemError(subject, LastSystemError());
  return false;
}

bool AtomicFileWriter::Open(const std::string& target) {
  Discard();
  failed_ = false;
  error_ = Status::Ok();
  target_ = target;
  // The temporary sits beside the target so that the move never crosses a
  // volume; CREATE_NEW refuses a name that someone else holds.
  static std::atomic<unsigned> serial{0};
  const std::size_t slash = LastSeparator(target);
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    tempPath_ = folder + "." + name + ".save" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(serial++);
    fd_ = CreateNew(tempPath_);
    if (fd_ < 0 && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (fd_ < 0) {
    tempPath_.clear();
    // The folder is what refused: missing, read-only or full.
    return Failed(folder.empty() ? "." : folder);
  }
  buffer_.clear();
  buffer_.reserve(kBufferSize);
  return true;
}

bool AtomicFileWriter::Flush() {
  return detail::FlushBuffer(buffer_, failed_, fd_, WriteAllToHandle) || Failed(target_);
}

bool AtomicFileWriter::Write(const void* data, std::size_t size) {
  return fd_ >= 0 && (detail::BufferedWrite(buffer_, failed_, fd_, WriteAllToHandle, data, size) ||
                      Failed(target_));
}

bool AtomicFileWriter::Commit() {
  if (fd_ < 0) return false;
  bool ok = Flush();
  ok = ok && (FlushFileBuffers(H(fd_)) || Failed(target_));
  ok = (CloseHandle(H(fd_)) || Failed(target_)) && ok;
  fd_ = -1;
  if (ok) ok = MoveIntoPlace(tempPath_, target_) || Failed(target_);
  if (!ok) DeleteFileA(tempPath_.c_str());
  tempPath_.clear();
  return ok;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) {
    CloseHandle(H(fd_));
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    DeleteFileA(tempPath_.c_str());
    tempPath_.clear();
  }
  buffer_.clear();
}

ExclusiveFileWriter::~ExclusiveFileWriter() {
  if (fd_ >= 0 || created_) Remove();
}

// Windows files have no permission bits to set: `mode` only matters where
// it takes the owner's write bit away, which makes the file read-only.
bool ExclusiveFileWriter::Create(const std::string& path, int mode) {
  if (fd_ >= 0 || created_) return false;
  fd_ = CreateNew(path);
  if (fd_ < 0) return false;
  path_ = path;
  created_ = true;
  failed_ = false;
  buffer_.clear();
  buffer_.reserve(kBufferSize);
  readOnly_ = mode >= 0 && (mode & 0200) == 0;
  return true;
}

bool ExclusiveFileWriter::Flush() { return detail::FlushBuffer(buffer_, failed_, fd_, WriteAllToHandle); }

bool ExclusiveFileWriter::Write(const void* data, std::size_t size) {
  return fd_ >= 0 && detail::BufferedWrite(buffer_, failed_, fd_, WriteAllToHandle, data, size);
}

bool ExclusiveFileWriter::Close() {
  if (fd_ < 0) return false;
  bool ok = Flush();
  ok = CloseHandle(H(fd_)) && ok;
  fd_ = -1;
  if (ok && readOnly_) SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY);
  if (!ok) {
    Remove();
  } else {
    created_ = false;  // the file is the caller's now
  }
  return ok;
}

void ExclusiveFileWriter::Remove() {
  if (fd_ >= 0) {
    CloseHandle(H(fd_));
    fd_ = -1;
  }
  if (created_ || !path_.empty()) DeleteFileA(path_.c_str());
  created_ = false;
  path_.clear();
  buffer_.clear();
}

bool ReplaceFileWithCopy(const std::string& source, const std::string& target) {
  intptr_t in = OpenForReading(source);
  if (in < 0) return false;
  AtomicFileWriter out;
  bool ok = out.Open(target) && CopyHandleTo(in, out);
  CloseHandle(H(in));
  return ok && out.Commit();
}

bool IsReadableFile(const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  intptr_t fd = OpenForReading(path);
  if (fd < 0) return false;
  const bool disk = IsDiskFile(fd);
  CloseHandle(H(fd));
  return disk;
}

bool RemoveFileName(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool AppendFileTo(const std::string& source, ExclusiveFileWriter& out) {
  intptr_t in = OpenForReading(source);
  if (in < 0) return false;
  const bool ok = IsDiskFile(in) && CopyHandleTo(in, out);
  CloseHandle(H(in));
  return ok;
}

// Links are rare on Windows and need rights to make; a save replaces the
// name it was given.
std::string FinalLinkTarget(const std::string& path) { return path; }

unsigned FileModeOr(const std::string& path, unsigned fallback) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return fallback;
  return (attributes & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u;
}

}  // namespace platform
