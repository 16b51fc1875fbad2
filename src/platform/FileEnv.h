// FileEnv: the file services the portable writers and readers (AtomicFile.h,
// File.h) are built on, behind one small interface so that a test can put a
// file system that fails on demand (a full disk, a refused rename) where the
// real one is, instead of breaking the real disk.
//
// FileEnv::Default() forwards to the system calls of FileCalls.h (posix/ and
// win32/); it lives as long as the process. Every writer and reader takes an
// env and uses the default when given none.
//
// A handle is a descriptor on POSIX and a HANDLE on Windows, kNoFile for
// none. A failing call leaves its reason in LastSystemError() (Status.h), so
// a fake that fails a call sets that number as the system would.
//
// Thread safety: the default env may be used from any thread, as the system
// calls; a fake says its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class FileEnv {
 public:
  using Handle = intptr_t;
  static constexpr Handle kNoFile = -1;

  virtual ~FileEnv() = default;

  // The real file system.
  static FileEnv& Default();

  // Creates `path`, which must not exist (a link there counts as existing),
  // for writing only, readable by nobody but its owner until its mode is set.
  virtual Handle CreateExclusive(const std::string& path) = 0;
  // Creates a new file exclusively whose name is `prefix` with a unique
  // ending; `path` receives the whole name.
  virtual Handle CreateUniqueSibling(const std::string& prefix, std::string& path) = 0;
  virtual Handle OpenForReading(const std::string& path) = 0;
  virtual bool IsRegular(Handle handle) = 0;

  // Writes every byte, or fails.
  virtual bool WriteAll(Handle handle, const char* data, std::size_t size) = 0;
  // One read of at most `size` bytes: the count, 0 at the end, -1 on failure.
  virtual int64_t ReadSome(Handle handle, char* data, std::size_t size) = 0;
  virtual bool Sync(Handle handle) = 0;
  virtual bool Close(Handle handle) = 0;

  // See FileCalls.h: the permission bits while open, and what of them only
  // applies once the file is closed (best effort).
  virtual bool SetModeWhileOpen(Handle handle, int mode) = 0;
  virtual void SetModeWhenClosed(const std::string& path, int mode) = 0;

  // Renames `from` over `to`, so that a reader finds the old file or the new
  // one and never none.
  virtual bool RenameOver(const std::string& from, const std::string& to) = 0;
  // Removes the name `path` (a link itself, never what it points to).
  virtual bool Remove(const std::string& path) = 0;
};

}  // namespace platform
