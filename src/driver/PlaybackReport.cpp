#include "driver/PlaybackReport.h"

#include <algorithm>
#include <cmath>

#include "driver/DataTime.h"
#include "platform/TextOut.h"

namespace driver {
namespace {

constexpr int64_t kStampNs = 100'000;  // one time-stamp unit, 100 us
constexpr int64_t kRecordTimeBaseNs = 14 * kOneDayNs;

std::string StampLine(const char* label, int32_t stamp) {
  std::string line;
  platform::AppendFormat(line, "- %s: %d : %s\n", label, stamp,
                         DataTimeText(kRecordTimeBaseNs + int64_t{stamp} * kStampNs).c_str());
  return line;
}

int64_t AtSpeed(int64_t ms, double speed) { return std::llround(static_cast<double>(ms) / speed); }

// One pass after the first: the join gap, then the whole file.
int64_t LoopedPassMs(const RecordingScan& scan) { return scan.joinGapMs + scan.replayMs; }

std::string ProblemLine(const io::RecordHead& end) {
  std::string line;
  const long long offset = static_cast<long long>(end.offset);
  switch (end.status) {
    case io::RecordHead::Status::kRecord:
    case io::RecordHead::Status::kEnd:
      break;
    case io::RecordHead::Status::kTruncated:
      platform::AppendFormat(line, "  the file ends inside the record at offset %s\n",
                             GroupedCount(offset).c_str());
      break;
    case io::RecordHead::Status::kBadSize:
      platform::AppendFormat(line,
                             "  the record at offset %s gives its size as %s bytes (a record "
                             "holds %u to %s); nothing after it is replayed\n",
                             GroupedCount(offset).c_str(), GroupedCount(end.size).c_str(),
                             io::kRecordHeaderBytes, GroupedCount(io::kMaxRecordBytes).c_str());
      break;
    case io::RecordHead::Status::kReadError:
    case io::RecordHead::Status::kNoMemory:
      platform::AppendFormat(line, "  reading the record at offset %s failed\n",
                             GroupedCount(offset).c_str());
      break;
  }
  return line;
}

}  // namespace

std::string GroupedCount(int64_t n) {
  const bool negative = n < 0;
  const uint64_t magnitude = negative ? uint64_t{0} - static_cast<uint64_t>(n) : uint64_t(n);
  std::string digits = std::to_string(magnitude);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, ",");
  return negative ? "-" + digits : digits;
}

std::string DurationText(int64_t ms, bool milliseconds) {
  std::string text = ms < 0 ? "-" : "";
  const uint64_t magnitude = ms < 0 ? uint64_t(0) - static_cast<uint64_t>(ms) : uint64_t(ms);
  const unsigned long long seconds = magnitude / 1000;
  platform::AppendFormat(text, "%02llu:%02llu:%02llu", seconds / 3600, seconds / 60 % 60,
                         seconds % 60);
  if (milliseconds)
    platform::AppendFormat(text, ".%03llu", static_cast<unsigned long long>(magnitude % 1000));
  return text;
}

int64_t StartUnits(double seconds) { return std::llround(seconds * 10'000.0); }

int64_t PlannedReplayMs(const RecordingScan& scan, const ReplayPlan& plan) {
  if (plan.loops == 0) return -1;
  const int64_t firstPass = scan.replayMs - scan.start.replayedMs;
  return AtSpeed(firstPass + (plan.loops - 1) * LoopedPassMs(scan), plan.speed);
}

std::string PlaybackInfoText(const std::string& path, const RecordingScan& scan,
                             const ReplayPlan& plan) {
  std::string text = "- Playback file: " + path + "\n";
  text += "- Records: " + GroupedCount(scan.records);
  if (scan.records > 0) {
    text += ", " + GroupedCount(scan.smallest) + " to " + GroupedCount(scan.largest) + " bytes";
  }
  text += "\n";
  if (scan.records > 0) {
    text += StampLine("First stamp", scan.firstStamp);
    text += StampLine("Last stamp", scan.lastStamp);
    text += "- Span: " + DurationText(scan.SpanUnits() / 10, true) + "\n";
  }
  text += "- Largest gaps:" + std::string(scan.largestGaps.empty() ? " none\n" : "\n");
  for (const ScannedGap& gap : scan.largestGaps) {
    platform::AppendFormat(text, "  %.1f ms before record %s at offset %s\n",
                           static_cast<double>(gap.stampUnits) / 10.0,
                           GroupedCount(gap.index + 1).c_str(), GroupedCount(gap.offset).c_str());
  }
  text +=
      "- Records cut short or with a bad size word: " + std::string(scan.Damaged() ? "1" : "0") +
      "\n";
  text += ProblemLine(scan.end);
  platform::AppendFormat(text, "- Replay at speed %g, gaps above %s ms replaced by %s ms",
                         plan.speed, GroupedCount(plan.maxGapMs).c_str(),
                         GroupedCount(std::min<int64_t>(1000, plan.maxGapMs)).c_str());
  if (scan.jumps > 0) text += " (" + GroupedCount(scan.jumps) + " of them)";
  if (!scan.start.found) {
    platform::AppendFormat(text, ": no record is %g s after the first\n", plan.startSeconds);
    return text;
  }
  if (plan.loops == 0) {
    text +=
        ": " + DurationText(AtSpeed(LoopedPassMs(scan), plan.speed), true) + " a pass, for ever\n";
    return text;
  }
  text += ": " + DurationText(PlannedReplayMs(scan, plan), true) + " for " +
          GroupedCount(plan.loops) + (plan.loops == 1 ? " pass" : " passes");
  if (scan.start.index > 0) {
    platform::AppendFormat(text, " from record %s", GroupedCount(scan.start.index + 1).c_str());
  }
  text += "\n";
  return text;
}

std::string ProgressLine(const RecordingScan& scan, const ReplayPlan& plan,
                         const ReplayPosition& at) {
  const double percent = scan.records > 0 ? 100.0 * static_cast<double>(at.index + 1) /
                                                static_cast<double>(scan.records)
                                          : 0.0;
  int64_t leftMs = std::max<int64_t>(0, scan.replayMs - at.replayedMs);
  if (plan.loops > 0) leftMs += std::max<int64_t>(0, plan.loops - at.pass) * LoopedPassMs(scan);
  std::string line;
  platform::AppendFormat(line, "- Record %s of %s (%.1f %%), pass %s",
                         GroupedCount(at.index + 1).c_str(), GroupedCount(scan.records).c_str(),
                         percent, GroupedCount(at.pass).c_str());
  line += plan.loops == 0 ? " (for ever)" : " of " + GroupedCount(plan.loops);
  line += ", " + DurationText(at.replayedMs, false) + " of " + DurationText(scan.replayMs, false) +
          " replayed, about " + DurationText(AtSpeed(leftMs, plan.speed), false) + " left";
  line += plan.loops == 0 ? " in this pass\n" : "\n";
  return line;
}

std::string PassLine(int64_t pass, int64_t loops) {
  std::string line = "- Pass " + GroupedCount(pass);
  line += loops == 0 ? " (for ever)\n" : " of " + GroupedCount(loops) + "\n";
  return line;
}

}  // namespace driver
