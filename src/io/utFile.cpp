#include "io/utFile.h"

namespace io {

utFile::~utFile() = default;

int utFile::Open(const std::string& path, int32_t mode, uint32_t /*attributes*/) {
  platform::File::Access access;
  switch (mode) {
    case kModeRead:
      access = platform::File::Access::kRead;
      break;
    case kModeReadWrite:
      access = platform::File::Access::kReadWrite;
      break;
    case kModeWrite:
      access = platform::File::Access::kWrite;
      break;
    default:
      lastError_ = platform::Status::InvalidArgument("open mode " + std::to_string(mode));
      return 1;
  }
  lastError_ = platform::Status::Ok();
  return file_.Open(path, access, &lastError_) ? 0 : 1;
}

int utFile::Read(void* buffer, uint32_t length, uint32_t& bytesRead) {
  bytesRead = 0;
  const int64_t n = file_.Read(buffer, length);
  if (n < 0) return 1;
  bytesRead = static_cast<uint32_t>(n);
  return 0;
}

int utFile::Close() { return file_.Close() ? 0 : 1; }

int64_t utFile::GetPosition64() { return file_.Position(); }

int utFile::Seek64(int32_t origin, int64_t offset) {
  platform::File::Origin from;
  switch (origin) {
    case kOriginStart:
      from = platform::File::Origin::kStart;
      break;
    case kOriginEnd:
      from = platform::File::Origin::kEnd;
      break;
    case kOriginCurrent:
      from = platform::File::Origin::kCurrent;
      break;
    default:
      return 1;
  }
  return file_.Seek(from, offset) ? 0 : 1;
}

int utFile::GetSize64(int64_t& size) const { return file_.Size(size) ? 0 : 1; }

}  // namespace io
