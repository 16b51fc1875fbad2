// The thresholds a CI job sets on a run's figures: --max-late-ms (the
// lateness p99 over the run) and --min-rate-percent (the steady packet rate
// over the run against the nominal one; see ArrivalStats.h for why not the
// plain rate). A broken threshold fails the run.
//
// Thread safety: pure functions.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ArrivalStats.h"
#include "Options.h"

namespace yebverify {

struct ThresholdResult {
  const char* option;  // "--max-late-ms" or "--min-rate-percent"
  const char* key;     // its name in the JSON summary
  double limit = 0.0;
  double measured = 0.0;  // ms, or percent of the nominal rate
  bool met = true;
};

// One result for every threshold the options set, in option order.
std::vector<ThresholdResult> CheckThresholds(const VerifyOptions& options, const TimingFigures& run,
                                             int nominalRate);

// "lateness p99 52.100 ms is above --max-late-ms 10"
std::string BrokenThresholdText(const ThresholdResult& result);
// {"max_late_ms":{"limit":..,"measured":..,"met":..},...} for the JSON
// summary; null without thresholds.
nlohmann::ordered_json ThresholdsJson(const std::vector<ThresholdResult>& results);

}  // namespace yebverify
