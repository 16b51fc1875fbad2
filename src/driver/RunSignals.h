// The signals and the value log of a run (/Signals, /ValueLog,
// /ValueLogParams), set up in two steps: the signals file is read before
// anything is written, so that a rule that cannot be read stops the run at
// once, like the fault script; the rules are resolved once the parameters
// are read, against the names the run's parameter list gives them.
//
// Without either option nothing is set up and the builders take the
// counter path untouched.
//
// Thread safety: main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "driver/RunSettings.h"
#include "driver/ValueLog.h"
#include "packet/ParmTable.h"
#include "packet/SignalPlan.h"
#include "packet/SignalRun.h"
#include "platform/TextOut.h"

namespace driver {

struct RunSignals {
  packet::SignalsFile file;
  packet::SignalSelector logged;
  std::vector<std::string> names;  // listed names, in table order
  std::unique_ptr<packet::SignalPlan> plan;
  std::unique_ptr<packet::SignalRun> run;  // null: counters only, nothing logged
  std::unique_ptr<ValueLog> log;
  uint64_t packetsBuilt = 0;  // the tool's packet number of the last packet built
};

RunSignals& ActiveSignals();

// Reads /Signals and the /ValueLogParams selector. False after printing
// "** Error - Signals file F: line N: ..." (or the selector's refusal).
bool LoadRunSignals(const RunSettings& settings, platform::TextOut& out);

// Resolves the rules against `table` and opens the value log. False after
// printing why the log cannot be opened.
bool ResolveRunSignals(const RunSettings& settings, const packet::ParmTable& table,
                       const std::string& runId, platform::TextOut& out);

}  // namespace driver
