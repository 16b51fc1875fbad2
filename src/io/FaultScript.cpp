#include "io/FaultScript.h"

#include <algorithm>
#include <cmath>

#include "io/ScriptText.h"

namespace io {
namespace {

constexpr double kMaxEventSeconds = 1e9;      // about 31 years into a transfer
constexpr double kMaxJumpSeconds = 1e7;       // more than a hundred days either way
constexpr int64_t kMaxPacketCount = 1000000;  // drop, duplicate
constexpr int64_t kMaxStallMs = 3600000;      // an hour
constexpr int64_t kMaxTruncateBytes = INT32_MAX;

bool ReadCount(std::string_view word, int64_t lowest, int64_t highest, int64_t* value) {
  if (word.empty() || word.size() > 12) return false;
  int64_t n = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  *value = n;
  return n >= lowest && n <= highest;
}

struct ActionRule {
  const char* name;
  FaultAction action;
  const char* argument;  // what the argument is, or null for none
  int64_t lowest;
  int64_t highest;
};

const ActionRule kRules[] = {
    {"drop", FaultAction::kDrop, "a number of packets from 1 to 1000000", 1, kMaxPacketCount},
    {"duplicate", FaultAction::kDuplicate, "a number of copies from 1 to 1000000", 1,
     kMaxPacketCount},
    {"corrupt", FaultAction::kCorrupt, nullptr, 0, 0},
    {"truncate", FaultAction::kTruncate, "a number of bytes from 0 to 2147483647", 0,
     kMaxTruncateBytes},
    {"stall", FaultAction::kStall, "milliseconds from 1 to 3600000", 1, kMaxStallMs},
    {"disconnect", FaultAction::kDisconnect, nullptr, 0, 0},
    {"timejump", FaultAction::kTimeJump, "seconds, a decimal of at most 10000000 either way", 0, 0},
};

// One line into `event`; the reason when it cannot be read.
bool ParseLine(std::string_view line, FaultEvent* event, std::string* reason) {
  const std::vector<std::string_view> words = ScriptWords(line);
  double seconds = 0;
  if (!ReadScriptDecimal(words[0], &seconds) || seconds < 0 || seconds > kMaxEventSeconds) {
    *reason = "'" + std::string(words[0]) + "' is not a time in seconds from 0 to 1000000000";
    return false;
  }
  if (words.size() < 2) {
    *reason = "no action after the time";
    return false;
  }
  const ActionRule* rule = nullptr;
  for (const ActionRule& candidate : kRules) {
    if (ScriptWordIs(words[1], candidate.name)) rule = &candidate;
  }
  if (rule == nullptr) {
    *reason = "unknown action '" + std::string(words[1]) +
              "' (drop, duplicate, corrupt, truncate, stall, disconnect, timejump)";
    return false;
  }
  const size_t expected = rule->argument != nullptr ? 3 : 2;
  if (words.size() != expected) {
    std::string found;
    for (size_t i = 2; i < words.size(); ++i) {
      found += (i > 2 ? " " : "") + std::string(words[i]);
    }
    *reason = rule->argument != nullptr
                  ? std::string(rule->name) + " needs one argument: " + rule->argument
                  : std::string(rule->name) + " takes no argument";
    *reason += found.empty() ? ", found none" : ", found '" + found + "'";
    return false;
  }
  event->action = rule->action;
  event->atNs = std::llround(seconds * 1e9);
  if (rule->action == FaultAction::kTimeJump) {
    if (!ReadScriptDecimal(words[2], &event->seconds) ||
        std::fabs(event->seconds) > kMaxJumpSeconds) {
      *reason = std::string(rule->name) + " needs one argument: " + rule->argument;
      return false;
    }
  } else if (rule->argument != nullptr &&
             !ReadCount(words[2], rule->lowest, rule->highest, &event->count)) {
    *reason = std::string(rule->name) + " needs one argument: " + rule->argument;
    return false;
  }
  return true;
}

}  // namespace

platform::Status ParseFaultScript(std::string_view text, FaultScript* script) {
  FaultScript parsed;
  int32_t lineNumber = 0;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++lineNumber;
    // "#" starts a comment, on a line of its own or after an event: no
    // time, action or argument holds one.
    line = line.substr(0, line.find('#'));
    line = TrimScriptLine(line);
    if (line.empty()) continue;
    if (parsed.events.size() == kMaxFaultEvents) {
      return platform::Status::InvalidArgument("more than " + std::to_string(kMaxFaultEvents) +
                                               " events");
    }
    FaultEvent event;
    std::string reason;
    if (!ParseLine(line, &event, &reason)) {
      return platform::Status::InvalidArgument("line " + std::to_string(lineNumber) + ": " +
                                               reason);
    }
    event.line = lineNumber;
    event.text = std::string(line);
    parsed.events.push_back(std::move(event));
  }
  std::stable_sort(parsed.events.begin(), parsed.events.end(),
                   [](const FaultEvent& a, const FaultEvent& b) { return a.atNs < b.atNs; });
  *script = std::move(parsed);
  return platform::Status::Ok();
}

platform::Status LoadFaultScript(const std::string& path, FaultScript* script) {
  std::string text;
  const platform::Status read = ReadScriptFile(path, kMaxFaultScriptBytes, &text);
  if (!read.ok()) return read;
  return ParseFaultScript(text, script);
}

const FaultEvent* FaultTimeline::NextDue(int64_t elapsedNs) {
  if (script_ == nullptr || next_ >= script_->events.size()) return nullptr;
  const FaultEvent& event = script_->events[next_];
  if (event.atNs > elapsedNs) return nullptr;
  ++next_;
  return &event;
}

int64_t FaultTimeline::NextAtNs() const {
  if (script_ == nullptr || next_ >= script_->events.size()) return -1;
  return script_->events[next_].atNs;
}

const char* FaultActionName(FaultAction action) {
  for (const ActionRule& rule : kRules) {
    if (rule.action == action) return rule.name;
  }
  return "unknown";
}

}  // namespace io
