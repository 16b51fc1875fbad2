// A file system that fails on demand, for tests of what a failing save
// leaves behind: the Nth write fails, the disk fills up after N bytes, or
// renames are refused. Every failure reports the system's own reason (see
// SystemErrorNumber in Status.h); everything else goes to the real env.
//
// Thread safety: one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/FileEnv.h"

namespace testsupport {

class FaultyFileEnv final : public platform::FileEnv {
 public:
  explicit FaultyFileEnv(platform::FileEnv& real = platform::FileEnv::Default()) : real_(real) {}

  // The `n`th write from now fails as an input/output error (1: the next
  // one); 0: none.
  void FailWrite(int n) { writesUntilFailure_ = n; }
  // Room for `bytes` more bytes: the write that would pass that writes what
  // fits, then fails as a full disk, and so does every write after it.
  // Negative: no limit.
  void FillDiskAfter(int64_t bytes) { room_ = bytes; }
  // Every rename is refused (access denied).
  void RefuseRenames(bool refuse) { refuseRenames_ = refuse; }

  Handle CreateExclusive(const std::string& path) override { return real_.CreateExclusive(path); }
  Handle CreateUniqueSibling(const std::string& prefix, std::string& path) override {
    return real_.CreateUniqueSibling(prefix, path);
  }
  Handle OpenForReading(const std::string& path) override { return real_.OpenForReading(path); }
  bool IsRegular(Handle handle) override { return real_.IsRegular(handle); }
  bool WriteAll(Handle handle, const char* data, std::size_t size) override;
  int64_t ReadSome(Handle handle, char* data, std::size_t size) override {
    return real_.ReadSome(handle, data, size);
  }
  bool Sync(Handle handle) override { return real_.Sync(handle); }
  bool Close(Handle handle) override { return real_.Close(handle); }
  bool SetModeWhileOpen(Handle handle, int mode) override {
    return real_.SetModeWhileOpen(handle, mode);
  }
  void SetModeWhenClosed(const std::string& path, int mode) override {
    real_.SetModeWhenClosed(path, mode);
  }
  bool RenameOver(const std::string& from, const std::string& to) override;
  bool Remove(const std::string& path) override { return real_.Remove(path); }

 private:
  platform::FileEnv& real_;
  int writesUntilFailure_ = 0;
  int64_t room_ = -1;
  bool refuseRenames_ = false;
};

}  // namespace testsupport
