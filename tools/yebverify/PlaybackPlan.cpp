#include "PlaybackPlan.h"

#include <algorithm>
#include <cmath>

namespace yebverify {
namespace {

// The wait the tool puts between records stamped `previous` and `stamp`.
int64_t WaitMs(int32_t previous, int32_t stamp, int64_t maxGapMs) {
  const int64_t ms = (int64_t{stamp} - previous) / 10;
  if (ms < 1) return 1;
  return ms > maxGapMs ? std::min<int64_t>(1000, maxGapMs) : ms;
}

}  // namespace

platform::Status PlaybackPlan::Open(const PlaybackSettings& settings) {
  settings_ = settings;
  if (file_.Open(settings.path, io::utFile::kModeRead) != 0) return file_.LastError();
  io::FileRecordSource source(file_);
  const int64_t startUnits = std::llround(settings.startSeconds * 10'000.0);
  int64_t count = 0;
  int32_t first = 0;
  bool found = false;
  io::WalkHeaders(source, 0, [&](const io::RecordHead& head) {
    if (count == 0) first = head.timeStamp;
    if (count == 1) joinGapMs_ = WaitMs(first, head.timeStamp, settings.maxGapMs);
    if (!found && int64_t{head.timeStamp} - first >= startUnits) {
      found = true;
      startOffset_ = head.offset;
      index_ = count - 1;
    }
    ++count;
    return !found || count < 2;
  });
  if (!found) {
    return platform::Status::InvalidArgument(settings.path + ": no record lies " +
                                             std::to_string(settings.startSeconds) +
                                             " s after the first");
  }
  nextOffset_ = startOffset_;
  return platform::Status::Ok();
}

bool PlaybackPlan::ReadCurrent() {
  io::FileRecordSource source(file_);
  int64_t size = -1;
  file_.GetSize64(size);
  const io::RecordHead head = io::ReadHeaderAt(source, nextOffset_, size);
  if (head.status != io::RecordHead::Status::kRecord) {
    if (head.status == io::RecordHead::Status::kBadSize ||
        head.status == io::RecordHead::Status::kReadError) {
      problem_ = "the file cannot be read on at offset " + std::to_string(head.offset);
    }
    return false;
  }
  bytes_.resize(static_cast<size_t>(head.size));
  uint32_t got = 0;
  if (!source.ReadAt(head.offset, bytes_.data(), static_cast<uint32_t>(head.size), got) ||
      got != head.size) {
    problem_ = "reading the record at offset " + std::to_string(head.offset) + " failed";
    return false;
  }
  if (begun_) waitMs_ = WaitMs(stamp_, head.timeStamp, settings_.maxGapMs);
  stamp_ = head.timeStamp;
  nextOffset_ = head.offset + head.size;
  return true;
}

bool PlaybackPlan::Advance() {
  if (ReadCurrent()) {
    ++index_;
    begun_ = true;
    return true;
  }
  // The end of the file (or a record cut short by it) ends a pass.
  if (!problem_.empty() || !begun_) return false;
  if (settings_.loops != 0 && pass_ >= settings_.loops) return false;
  ++pass_;
  nextOffset_ = 0;
  if (!ReadCurrent()) return false;
  waitMs_ = joinGapMs_;
  index_ = 0;
  return true;
}

}  // namespace yebverify
