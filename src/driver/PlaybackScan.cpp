#include "driver/PlaybackScan.h"

#include <algorithm>

#include "driver/Pacing.h"

namespace driver {
namespace {

// Keeps the largest gaps, largest first; among equal gaps the earlier.
void KeepIfLarge(std::vector<ScannedGap>& gaps, const ScannedGap& gap) {
  auto place = std::find_if(gaps.begin(), gaps.end(), [&](const ScannedGap& kept) {
    return gap.stampUnits > kept.stampUnits;
  });
  if (place == gaps.end() && gaps.size() >= RecordingScan::kLargestGaps) return;
  gaps.insert(place, gap);
  if (gaps.size() > RecordingScan::kLargestGaps) gaps.pop_back();
}

}  // namespace

RecordingScan ScanRecording(io::RecordSource& source, int64_t maxGapMs, int64_t startUnits) {
  RecordingScan scan;
  scan.largestGaps.reserve(RecordingScan::kLargestGaps + 1);
  int32_t previousStamp = 0;
  scan.end = io::WalkHeaders(source, 0, [&](const io::RecordHead& head) {
    if (scan.records == 0) {
      scan.firstStamp = head.timeStamp;
      scan.smallest = scan.largest = head.size;
    } else {
      const RecordGap gap = RecordGapMs(previousStamp, head.timeStamp, maxGapMs);
      scan.replayMs += gap.ms;
      if (gap.jump) ++scan.jumps;
      if (scan.records == 1) scan.joinGapMs = gap.ms;
      KeepIfLarge(scan.largestGaps, {int64_t{head.timeStamp} - previousStamp, head.offset,
                                     scan.records, head.timeStamp});
      scan.smallest = std::min(scan.smallest, head.size);
      scan.largest = std::max(scan.largest, head.size);
    }
    if (!scan.start.found && int64_t{head.timeStamp} - int64_t{scan.firstStamp} >= startUnits) {
      scan.start = {true, scan.records, head.offset, scan.replayMs};
    }
    previousStamp = head.timeStamp;
    scan.lastStamp = head.timeStamp;
    ++scan.records;
    return true;
  });
  return scan;
}

}  // namespace driver
