// What the stress tool replays from a playback file, in the order it reads
// the records: from the start point to the end of the file, then, for each
// further pass, from the first record again. Each record comes with the
// wait the tool puts before it, so that arrivals can be held against the
// stamps. The rules are written here again, apart from the tool's code, so
// that the verifier checks the tool instead of repeating it.
//
// Thread safety: one object per thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/RecordHeader.h"
#include "io/utFile.h"
#include "platform/Status.h"

namespace yebverify {

struct PlaybackSettings {
  std::string path;
  double speed = 1.0;
  double startSeconds = 0.0;
  int64_t loops = 1;  // 0 for ever
  int64_t maxGapMs = 60'000;
};

class PlaybackPlan {
 public:
  // Opens the file and finds the start point.
  platform::Status Open(const PlaybackSettings& settings);

  // Moves to the next record the tool reads: false at the end of the plan
  // (or where the file cannot be read on; problem() then says why).
  bool Advance();
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  // The wait before the current record, in ms as recorded (before /speed).
  int64_t waitMs() const { return waitMs_; }
  int64_t pass() const { return pass_; }
  int64_t index() const { return index_; }  // in the file, from 0
  const std::string& problem() const { return problem_; }

 private:
  bool ReadCurrent();

  PlaybackSettings settings_;
  io::utFile file_;
  int64_t startOffset_ = 0;
  int64_t joinGapMs_ = 1;
  int64_t nextOffset_ = 0;
  bool begun_ = false;
  int64_t pass_ = 1;
  int64_t index_ = -1;
  int32_t stamp_ = 0;
  int64_t waitMs_ = 0;
  std::vector<uint8_t> bytes_;
  std::string problem_;
};

}  // namespace yebverify
