#include "driver/RunSignals.h"

#include "artefacts/ListFileOutput.h"

namespace driver {

RunSignals& ActiveSignals() {
  static RunSignals signals;
  return signals;
}

bool LoadRunSignals(const RunSettings& settings, platform::TextOut& out) {
  RunSignals& signals = ActiveSignals();
  signals = RunSignals{};
  if (!settings.signalsPath.empty()) {
    const platform::Status loaded = packet::LoadSignals(settings.signalsPath, &signals.file);
    if (!loaded.ok()) {
      platform::Printf(out, "** Error - Signals file %s: %s\n", settings.signalsPath.c_str(),
                       loaded.message().c_str());
      return false;
    }
  }
  if (!settings.valueLogParams.empty()) {
    const platform::Status parsed =
        packet::ParseSignalSelector(settings.valueLogParams, &signals.logged);
    if (!parsed.ok()) {
      platform::Printf(out, "** Error - /ValueLogParams %s\n", parsed.message().c_str());
      return false;
    }
  }
  return true;
}

bool ResolveRunSignals(const RunSettings& settings, const packet::ParmTable& table,
                       const std::string& runId, platform::TextOut& out) {
  RunSignals& signals = ActiveSignals();
  const bool logging = !settings.valueLogPath.empty();
  if (settings.signalsPath.empty() && !logging) return true;
  const artefacts::ListSettings list = ListSettingsOf(settings);
  std::vector<double> rates;
  signals.names.reserve(static_cast<size_t>(table.parmCount));
  rates.reserve(static_cast<size_t>(table.parmCount));
  for (int32_t i = 0; i < table.parmCount; ++i) {
    signals.names.push_back(artefacts::ListedParameterName(list, i));
    rates.push_back(table.records[i].sampleRate);
  }
  if (!settings.signalsPath.empty()) {
    signals.plan = std::make_unique<packet::SignalPlan>(signals.file, signals.names, rates);
    platform::Printf(out, "- Signals file %s: %lld of %d parameters carry signals\n",
                     settings.signalsPath.c_str(),
                     static_cast<long long>(signals.plan->signalled()), table.parmCount);
    for (int32_t line : signals.plan->unusedRules()) {
      platform::Printf(out, "** Warning - Signals file %s: line %d selects no parameter\n",
                       settings.signalsPath.c_str(), line);
    }
  }
  signals.run = std::make_unique<packet::SignalRun>(signals.plan.get(), table.parmCount);
  if (!logging) {
    out.Write("\n");
    return true;
  }
  int64_t logged = 0;
  for (int32_t i = 0; i < table.parmCount; ++i) {
    if (packet::SelectorMatches(signals.logged, signals.names[static_cast<size_t>(i)],
                                rates[static_cast<size_t>(i)], i + 1)) {
      signals.run->MarkLogged(i);
      ++logged;
    }
  }
  const platform::Status opened =
      ValueLog::Open(settings.valueLogPath, runId, &signals.names, &table,
                     settings.sourceType == packet::kSourceNep, out, signals.log);
  if (!opened.ok()) {
    platform::Printf(out, "** Error - Unable to open the value log: %s (%s)\n",
                     settings.valueLogPath.c_str(), opened.message().c_str());
    return false;
  }
  platform::Printf(out, "- Value log %s: %lld parameters\n\n", settings.valueLogPath.c_str(),
                   static_cast<long long>(logged));
  return true;
}

}  // namespace driver
