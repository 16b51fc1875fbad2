#include "SignalCheck.h"

#include <cerrno>
#include <cstring>

#include "platform/File.h"

namespace yebverify {

bool SignalValueMatches(uint32_t found, uint32_t expected, packet::SignalPattern pattern) {
  if (found == expected) return true;
  const auto isNan = [](uint32_t bits) {
    return (bits & 0x7F800000u) == 0x7F800000u && (bits & 0x007FFFFFu) != 0;
  };
  if (isNan(expected)) return isNan(found);
  if (pattern != packet::SignalPattern::kSine || isNan(found)) return false;
  // Same sign, neighbours in the ordering of the magnitudes. Across zero the
  // neighbours of +0 are -0 and the smallest denormals.
  if ((found ^ expected) & 0x80000000u) return (found | expected) == 0x80000000u;
  const uint32_t a = found & 0x7FFFFFFFu, b = expected & 0x7FFFFFFFu;
  return (a > b ? a - b : b - a) <= 1;
}

platform::Status ValuesOut::Open(const std::string& path, std::unique_ptr<ValuesOut>& out) {
  errno = 0;
  std::FILE* file = platform::OpenStreamForWriting(path);
  if (file == nullptr) return platform::Status::IoError(path + ": " + std::strerror(errno));
  out.reset(new ValuesOut(file));
  out->pending_ = packet::kValueCsvHeader;
  return platform::Status::Ok();
}

ValuesOut::~ValuesOut() {
  Flush();
  std::fclose(file_);
}

void ValuesOut::Add(const packet::ValueCsvSample& sample) {
  packet::AppendValueCsvLine(pending_, sample);
  if (pending_.size() > (1u << 20)) Flush();
}

void ValuesOut::Flush() {
  std::fwrite(pending_.data(), 1, pending_.size(), file_);
  std::fflush(file_);
  pending_.clear();
}

}  // namespace yebverify
