#include "Thresholds.h"

#include <cmath>
#include <cstdio>

namespace yebverify {
namespace {

// Shortest text that reads back as the value the user gave (10, 99.5).
std::string LimitText(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

std::vector<ThresholdResult> CheckThresholds(const VerifyOptions& options, const TimingFigures& run,
                                             int nominalRate) {
  std::vector<ThresholdResult> results;
  if (options.maxLateMs) {
    ThresholdResult r{"--max-late-ms", "max_late_ms"};
    r.limit = *options.maxLateMs;
    r.measured = static_cast<double>(run.lateP99Ns) / 1e6;
    r.met = r.measured <= r.limit;
    results.push_back(r);
  }
  if (options.minRatePercent) {
    ThresholdResult r{"--min-rate-percent", "min_rate_percent"};
    r.limit = *options.minRatePercent;
    r.measured = nominalRate > 0 ? run.steadyRate * 100.0 / nominalRate : 0.0;
    r.met = r.measured >= r.limit;
    results.push_back(r);
  }
  return results;
}

std::string BrokenThresholdText(const ThresholdResult& r) {
  char text[160];
  if (std::string(r.option) == "--max-late-ms") {
    std::snprintf(text, sizeof text, "lateness p99 %.3f ms is above %s %s", r.measured, r.option,
                  LimitText(r.limit).c_str());
  } else {
    std::snprintf(text, sizeof text, "steady packet rate %.3f %% of nominal is below %s %s",
                  r.measured, r.option, LimitText(r.limit).c_str());
  }
  return text;
}

nlohmann::ordered_json ThresholdsJson(const std::vector<ThresholdResult>& results) {
  if (results.empty()) return nullptr;
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  for (const ThresholdResult& r : results) {
    json[r.key] = {
        {"limit", r.limit}, {"measured", std::round(r.measured * 1000.0) / 1000.0}, {"met", r.met}};
  }
  return json;
}

}  // namespace yebverify
