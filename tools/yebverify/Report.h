// The figures yebverify shows: one progress line a second, a summary at the
// end, and the same figures as one JSON object per line for scripts.
//
// The JSON lines share the statistics file's vocabulary: times are UTC and
// end in "Z", what is absent is null (never "-" or an empty string), and a
// failure carries the value expected and the value found as fields of its
// own. Every key is listed in the README.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "ArrivalStats.h"
#include "ExpectedFaults.h"
#include "Failures.h"
#include "Thresholds.h"

namespace yebverify {

using Json = nlohmann::ordered_json;

struct ReportFigures {
  std::string wallTime;  // UTC, "2026-12-08T20:31:05.123Z"
  double elapsedSeconds = 0.0;
  std::optional<std::string> dataTime;  // "ddd:hh:mm:ss.mmm"; none before the first packet
  int nominalRate = 50;
  uint64_t samples = 0;       // checked since the start of the run
  uint64_t totalPackets = 0;  // received since the start of the run
  uint64_t connections = 0;
  uint64_t missedPackets = 0;               // built by the tool between our connections
  uint64_t joinedAtSequence = 0;            // joined a running transfer here; 0: at a start
  TimingFigures timing;                     // the window (progress) or the whole run (summary)
  std::vector<ThresholdResult> thresholds;  // summary only
  // Summary only: the faults matched against --expect-faults (none: not given).
  const std::vector<MatchedFault>* matchedFaults = nullptr;
};

// How a run ended, as the last line says it.
struct Verdict {
  int status = 0;
  const char* result = "ok";  // "ok", "failed", "incomplete" or "error"
  std::string text;           // "yebverify: OK: ..."
  std::string hint;           // what may explain a mismatch; empty: none
};

std::string ProgressLine(const ReportFigures& figures, uint64_t totalPackets,
                         const FailureLog& failures);
std::string SummaryText(const ReportFigures& figures, const FailureLog& failures);
// The verdict line, and the hint on a line of its own under it.
std::string VerdictText(const Verdict& verdict);

// kind: "progress" or "summary"; the summary also lists the described
// failures, the matched faults and the thresholds. `runId` (empty: none)
// ties the line to the run manifest and the statistics file.
Json FiguresJson(const char* kind, const ReportFigures& figures, const FailureLog& failures,
                 const std::string& runId);
// One failure as it is found.
Json FailureJson(const FailureRecord& record, const std::string& runId);
Json VerdictJson(const Verdict& verdict, const std::string& runId);
// One line of JSON text.
std::string JsonText(const Json& object);

// Now, in UTC.
std::string WallClockText();
// `ms` since 1970 in UTC: "2026-12-08T20:31:05.123Z".
std::string UtcTimeText(int64_t ms);

}  // namespace yebverify
