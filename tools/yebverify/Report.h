// The figures yebverify shows: one progress line a second, a summary at the
// end, and the same figures as one JSON object per line for scripts.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>

#include "ArrivalStats.h"
#include "Failures.h"
#include "Thresholds.h"

namespace yebverify {

struct ReportFigures {
  std::string wallTime;  // local wall-clock time, "2026-12-08T20:31:05.123"
  double elapsedSeconds = 0.0;
  std::string dataTime;  // "ddd:hh:mm:ss.mmm"
  int nominalRate = 50;
  uint64_t samples = 0;       // checked since the start of the run
  uint64_t totalPackets = 0;  // received since the start of the run
  uint64_t connections = 0;
  uint64_t missedPackets = 0;  // built by the tool between our connections
  TimingFigures timing;        // the window (progress) or the whole run (summary)
  std::vector<ThresholdResult> thresholds;  // summary only
};

std::string ProgressLine(const ReportFigures& figures, uint64_t totalPackets,
                         const FailureLog& failures);
std::string SummaryText(const ReportFigures& figures, const FailureLog& failures);
// kind: "progress" or "summary"; the summary also lists the described failures.
std::string JsonLine(const char* kind, const ReportFigures& figures, const FailureLog& failures);
// One JSON object for a failure as it is found.
std::string JsonFailureLine(const FailureRecord& record);

std::string WallClockText();
// `text` as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

}  // namespace yebverify
