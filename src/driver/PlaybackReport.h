// What playback tells the operator about a recording: the /PlaybackInfo
// summary of a scan and the progress line under each "- Current Time" line.
//
// Pure functions of their arguments.
#pragma once

#include <cstdint>
#include <string>

#include "driver/PlaybackScan.h"

namespace driver {

// The playback options that shape a replay.
struct ReplayPlan {
  double speed = 1.0;
  int64_t maxGapMs = 60'000;
  int64_t loops = 1;  // passes over the file; 0 for ever
  double startSeconds = 0.0;
};

// Where a replay stands after sending a record.
struct ReplayPosition {
  int64_t index = 0;  // the record's place in the file, from 0
  int64_t pass = 1;
  int64_t replayedMs = 0;  // the clamped gaps from the file's first record to it
};

// 12345 as "12,345".
std::string GroupedCount(int64_t n);
// A duration as "hh:mm:ss", or "hh:mm:ss.mmm" with `milliseconds`; hours
// widen past 99.
std::string DurationText(int64_t ms, bool milliseconds);

// The stamps as units of 100 us after the first stamp that a start point
// of `seconds` asks for.
int64_t StartUnits(double seconds);

// The replay time of the whole plan in ms at its speed; -1 for ever.
int64_t PlannedReplayMs(const RecordingScan& scan, const ReplayPlan& plan);

// The /PlaybackInfo summary, each line ending in "\n".
std::string PlaybackInfoText(const std::string& path, const RecordingScan& scan,
                             const ReplayPlan& plan);

// "- Record 12,345 of 100,000 (12.3 %), pass 1 of 1, 00:01:23 of 00:11:40
// replayed, about 00:10:17 left\n"
std::string ProgressLine(const RecordingScan& scan, const ReplayPlan& plan,
                         const ReplayPosition& at);

// "- Pass 2 of 5\n", or "- Pass 2 (for ever)\n" when the plan loops for ever.
std::string PassLine(int64_t pass, int64_t loops);

}  // namespace driver
