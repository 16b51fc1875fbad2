// The run as a JUnit XML report, the format CI servers show natively: one
// test case per check kind, per threshold and per expected fault, and one
// for the run itself (cut short, or not run at all). A failed case carries
// its first message as the failure's message and the described failures
// as its text.
//
// The XML is written with the standard library, so that the Windows build
// (which has no XML library packaged) writes the same report; XmlEscape is
// the one place that makes text safe in it.
//
// Thread safety: pure functions, except WriteJUnitFile.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ExpectedFaults.h"
#include "Failures.h"
#include "Verifier.h"
#include "platform/Status.h"

namespace yebverify {

struct JUnitCase {
  std::string classname;  // "yebverify.checks", "yebverify.thresholds", ...
  std::string name;
  enum class Result { kPassed, kFailed, kError } result = Result::kPassed;
  std::string message;  // the first message, one line
  std::string text;     // every message known
};

// Text and attribute values: the five markup characters as entities, and
// the control characters XML 1.0 cannot hold as U+FFFD.
std::string XmlEscape(std::string_view text);

// The cases of a finished run.
std::vector<JUnitCase> RunCases(const RunOutcome& outcome, const FailureLog& failures,
                                const ExpectedFaults* expected);
// The single case of a run that never started (a usage, manifest or list
// error): an error with `reason`.
std::vector<JUnitCase> SetupErrorCases(const std::string& reason);

// The whole document. `timestamp` is UTC ("...Z"); `systemOut` is the human
// summary (may be empty).
std::string JUnitXml(const std::vector<JUnitCase>& cases, double seconds,
                     const std::string& timestamp, const std::string& runId,
                     const std::string& systemOut);

// Writes `xml` to `path` whole or not at all.
platform::Status WriteJUnitFile(const std::string& path, const std::string& xml);

}  // namespace yebverify
