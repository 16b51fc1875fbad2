// A summary of a playback file from its record headers alone: how many
// records, their sizes and stamps, the largest gaps, where the file goes
// wrong, and how long one pass takes to replay under a gap limit. Playback
// takes its record count and replay time from it for the progress line, its
// start point and the gap before a looped pass; /PlaybackInfo prints it.
//
// The scan stops where playback would: at the end of the file, at the end
// time stamp, or at a record cut short or with a bad size word (after which
// the next record cannot be found).
//
// Pure over an io::RecordSource, so tests scan bytes in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "io/RecordHeader.h"

namespace driver {

// The gap before the record at `offset`, as recorded.
struct ScannedGap {
  int64_t stampUnits = 0;  // the stamp difference, units of 100 us
  int64_t offset = 0;
  int64_t index = 0;  // of the record after the gap, from 0
  int32_t stamp = 0;
};

// Where a replay from a start point begins.
struct ScannedStart {
  bool found = false;
  int64_t index = 0;
  int64_t offset = 0;
  int64_t replayedMs = 0;  // the clamped gaps from the first record to it
};

struct RecordingScan {
  static constexpr size_t kLargestGaps = 5;

  int64_t records = 0;
  int64_t smallest = 0;  // bytes, header included
  int64_t largest = 0;
  int32_t firstStamp = 0;
  int32_t lastStamp = 0;
  std::vector<ScannedGap> largestGaps;  // at most kLargestGaps, largest first
  // Why the scan ended: kEnd for a clean end, else the record that is cut
  // short, has a bad size word or could not be read.
  io::RecordHead end;
  int64_t replayMs = 0;   // one pass: the gaps as playback waits them
  int64_t joinGapMs = 1;  // the wait before the first record of a new pass
  int64_t jumps = 0;      // gaps above the limit
  ScannedStart start;

  int64_t SpanUnits() const { return int64_t{lastStamp} - int64_t{firstStamp}; }
  bool Damaged() const { return end.status != io::RecordHead::Status::kEnd; }
};

// Scans the whole file under a gap limit of `maxGapMs`; `start` gets the
// first record whose stamp is at least `startUnits` after the first stamp.
RecordingScan ScanRecording(io::RecordSource& source, int64_t maxGapMs, int64_t startUnits);

}  // namespace driver
