#include "support/FaultyFileEnv.h"

#include "platform/Status.h"

namespace testsupport {

namespace {

bool Fail(platform::SystemFailure failure) {
  platform::SetLastSystemError(platform::SystemErrorNumber(failure));
  return false;
}

}  // namespace

bool FaultyFileEnv::WriteAll(Handle handle, const char* data, std::size_t size) {
  if (writesUntilFailure_ > 0 && --writesUntilFailure_ == 0) {
    return Fail(platform::SystemFailure::kIoFailure);
  }
  if (room_ < 0 || static_cast<int64_t>(size) <= room_) {
    if (room_ >= 0) room_ -= static_cast<int64_t>(size);
    return real_.WriteAll(handle, data, size);
  }
  // What fits reaches the file, as on a disk that fills up mid-write.
  const std::size_t fits = static_cast<std::size_t>(room_);
  room_ = 0;
  if (fits > 0 && !real_.WriteAll(handle, data, fits)) return false;
  return Fail(platform::SystemFailure::kDiskFull);
}

bool FaultyFileEnv::RenameOver(const std::string& from, const std::string& to) {
  if (refuseRenames_) return Fail(platform::SystemFailure::kAccessDenied);
  return real_.RenameOver(from, to);
}

}  // namespace testsupport
