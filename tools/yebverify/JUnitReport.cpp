#include "JUnitReport.h"

#include <cstdio>

#include "platform/AtomicFile.h"

namespace yebverify {
namespace {

using Result = JUnitCase::Result;

JUnitCase Passed(const char* classname, std::string name) {
  return JUnitCase{classname, std::move(name), Result::kPassed, {}, {}};
}

// Every described failure of `kind`, one a line; the first as the message.
JUnitCase KindCase(FailureKind kind, const FailureLog& failures) {
  JUnitCase c = Passed("yebverify.checks", FailureKindName(kind));
  const uint64_t count = failures.count(kind);
  if (count == 0) return c;
  c.result = Result::kFailed;
  for (const FailureRecord& r : failures.described()) {
    if (r.kind != kind) continue;
    if (c.message.empty()) c.message = FormatFailure(r);
    c.text += FormatFailure(r) + "\n";
  }
  const std::string counted = std::to_string(count) + " failed";
  if (c.message.empty()) c.message = counted;
  c.text += counted + "\n";
  return c;
}

std::string Attribute(const char* name, const std::string& value) {
  return std::string(" ") + name + "=\"" + XmlEscape(value) + "\"";
}

}  // namespace

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          out += "\xEF\xBF\xBD";
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::vector<JUnitCase> RunCases(const RunOutcome& outcome, const FailureLog& failures,
                                const ExpectedFaults* expected) {
  std::vector<JUnitCase> cases;
  JUnitCase run = Passed("yebverify.run", "complete");
  if (outcome.verdict.result == std::string("error")) {
    run.result = Result::kError;
    run.message = outcome.verdict.text;
  } else if (!outcome.incomplete.empty()) {
    run.result = Result::kFailed;
    run.message = "INCOMPLETE: " + outcome.incomplete;
  }
  run.text = outcome.verdict.text + "\n";
  if (!outcome.verdict.hint.empty()) run.text += outcome.verdict.hint + "\n";
  cases.push_back(run);
  if (run.result == Result::kError && failures.total() == 0) return cases;

  for (size_t k = 0; k < static_cast<size_t>(FailureKind::kCount); ++k) {
    // Expected faults have cases of their own below.
    if (static_cast<FailureKind>(k) == FailureKind::kFaultNotSeen) continue;
    cases.push_back(KindCase(static_cast<FailureKind>(k), failures));
  }
  for (const ThresholdResult& t : outcome.thresholds) {
    char name[96];
    std::snprintf(name, sizeof name, "%s %g", t.option, t.limit);
    JUnitCase c = Passed("yebverify.thresholds", name);
    if (!t.met) {
      c.result = Result::kFailed;
      c.message = BrokenThresholdText(t);
      c.text = c.message + "\n";
    }
    cases.push_back(c);
  }
  if (expected != nullptr) {
    for (const MatchedFault& m : expected->matched()) {
      cases.push_back(Passed("yebverify.expected_faults", m.Text()));
    }
    for (const std::string& missed : expected->missed()) {
      cases.push_back(JUnitCase{"yebverify.expected_faults", missed, Result::kFailed,
                                "expected fault not seen: " + missed, missed + "\n"});
    }
  }
  return cases;
}

std::vector<JUnitCase> SetupErrorCases(const std::string& reason) {
  return {JUnitCase{"yebverify.run", "complete", Result::kError, reason, reason + "\n"}};
}

std::string JUnitXml(const std::vector<JUnitCase>& cases, double seconds,
                     const std::string& timestamp, const std::string& runId,
                     const std::string& systemOut) {
  size_t failed = 0, errors = 0;
  for (const JUnitCase& c : cases) {
    if (c.result == Result::kFailed) ++failed;
    if (c.result == Result::kError) ++errors;
  }
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", seconds);
  const std::string counts = Attribute("tests", std::to_string(cases.size())) +
                             Attribute("failures", std::to_string(failed)) +
                             Attribute("errors", std::to_string(errors)) + Attribute("time", time);
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  xml += "<testsuites" + Attribute("name", "yebverify") + counts + ">\n";
  xml += "  <testsuite" + Attribute("name", "yebverify") + counts + Attribute("skipped", "0") +
         Attribute("timestamp", timestamp) + ">\n";
  if (!runId.empty()) {
    xml += "    <properties>\n      <property" + Attribute("name", "run_id") +
           Attribute("value", runId) + "/>\n    </properties>\n";
  }
  for (const JUnitCase& c : cases) {
    xml += "    <testcase" + Attribute("classname", c.classname) + Attribute("name", c.name);
    if (c.result == Result::kPassed) {
      xml += "/>\n";
      continue;
    }
    const char* element = c.result == Result::kFailed ? "failure" : "error";
    xml += ">\n      <" + std::string(element) + Attribute("message", c.message) + ">" +
           XmlEscape(c.text) + "</" + element + ">\n    </testcase>\n";
  }
  if (!systemOut.empty()) xml += "    <system-out>" + XmlEscape(systemOut) + "</system-out>\n";
  xml += "  </testsuite>\n</testsuites>\n";
  return xml;
}

platform::Status WriteJUnitFile(const std::string& path, const std::string& xml) {
  platform::AtomicFileWriter writer;
  if (!writer.Open(path) || !writer.Write(xml.data(), xml.size()) || !writer.Commit()) {
    return platform::SystemError(path, platform::LastSystemError())
        .WithContext("cannot write the JUnit report");
  }
  return platform::Status::Ok();
}

}  // namespace yebverify
