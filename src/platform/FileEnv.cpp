// The real file system: every call goes straight to the system's own
// implementation in FileCalls.h.
#include "platform/FileEnv.h"

#include "platform/AtomicFile.h"
#include "platform/FileCalls.h"

namespace platform {

namespace {

class SystemFileEnv final : public FileEnv {
 public:
  Handle CreateExclusive(const std::string& path) override { return detail::CreateExclusive(path); }
  Handle CreateUniqueSibling(const std::string& prefix, std::string& path) override {
    return detail::CreateUniqueSibling(prefix, path);
  }
  Handle OpenForReading(const std::string& path) override { return detail::OpenForReading(path); }
  bool IsRegular(Handle handle) override { return detail::IsRegular(handle); }
  bool WriteAll(Handle handle, const char* data, std::size_t size) override {
    return detail::WriteAll(handle, data, size);
  }
  int64_t ReadSome(Handle handle, char* data, std::size_t size) override {
    return detail::ReadSome(handle, data, size);
  }
  bool Sync(Handle handle) override { return detail::Sync(handle); }
  bool Close(Handle handle) override { return detail::CloseFile(handle); }
  bool SetModeWhileOpen(Handle handle, int mode) override {
    return detail::SetModeWhileOpen(handle, mode);
  }
  void SetModeWhenClosed(const std::string& path, int mode) override {
    detail::SetModeWhenClosed(path, mode);
  }
  bool RenameOver(const std::string& from, const std::string& to) override {
    return detail::RenameOver(from, to);
  }
  bool Remove(const std::string& path) override { return RemoveFileName(path); }
};

}  // namespace

FileEnv& FileEnv::Default() {
  // Never destroyed: writers in static objects may outlive any other static.
  static FileEnv* env = new SystemFileEnv;
  return *env;
}

}  // namespace platform
