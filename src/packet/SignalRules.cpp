#include "packet/SignalRules.h"

#include <limits>

#include "io/ScriptText.h"

namespace packet {
namespace {

// Signals files are read with the fault scripts' line rules.
using io::ReadScriptDecimal;
using io::ReadScriptFile;
using io::ScriptWordIs;
using io::ScriptWords;
using io::TrimScriptLine;

using Field = double SignalRule::*;

struct PatternEntry {
  const char* name;
  SignalPattern pattern;
  // The NAME=VALUE parameters it takes, as the help lists them; null ends.
  const char* parameters[5];
  Field fields[5];
};

// "values" and "seed" are not plain decimals; they have no field here.
const PatternEntry kPatterns[] = {
    {"counter", SignalPattern::kCounter, {}, {}},
    {"constant", SignalPattern::kConstant, {"value"}, {&SignalRule::value}},
    {"sine",
     SignalPattern::kSine,
     {"amplitude", "period", "offset", "phase"},
     {&SignalRule::amplitude, &SignalRule::period, &SignalRule::offset, &SignalRule::phase}},
    {"square",
     SignalPattern::kSquare,
     {"low", "high", "period", "duty"},
     {&SignalRule::low, &SignalRule::high, &SignalRule::period, &SignalRule::duty}},
    {"triangle",
     SignalPattern::kTriangle,
     {"min", "max", "period"},
     {&SignalRule::min, &SignalRule::max, &SignalRule::period}},
    {"sawtooth",
     SignalPattern::kSawtooth,
     {"min", "max", "period"},
     {&SignalRule::min, &SignalRule::max, &SignalRule::period}},
    {"steps", SignalPattern::kSteps, {"values", "hold"}, {nullptr, &SignalRule::hold}},
    {"random",
     SignalPattern::kRandom,
     {"min", "max", "seed"},
     {&SignalRule::min, &SignalRule::max, nullptr}},
    {"special", SignalPattern::kSpecial, {}, {}},
};

const char kPatternList[] =
    "counter, constant, sine, square, triangle, sawtooth, steps, random, special";

// Whole numbers up to 2^64 - 1, digits only.
bool ReadSeed(std::string_view word, uint64_t* seed) {
  if (word.empty() || word.size() > 20) return false;
  uint64_t n = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (n > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
    n = n * 10 + digit;
  }
  *seed = n;
  return true;
}

bool ReadValueList(std::string_view text, std::vector<double>* values, std::string* reason) {
  values->clear();
  size_t at = 0;
  for (;;) {
    size_t comma = text.find(',', at);
    const std::string_view item =
        text.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at);
    double value = 0;
    if (!ReadScriptDecimal(item, &value)) {
      *reason = "values: '" + std::string(item) + "' is not a finite decimal";
      return false;
    }
    if (values->size() == kMaxStepValues) {
      *reason = "values: more than " + std::to_string(kMaxStepValues) + " values";
      return false;
    }
    values->push_back(value);
    if (comma == std::string_view::npos) return true;
    at = comma + 1;
  }
}

std::string ParameterList(const PatternEntry& entry) {
  std::string list;
  for (const char* name : entry.parameters) {
    if (name == nullptr) break;
    list += (list.empty() ? "" : ", ") + std::string(name);
  }
  return list;
}

// The limits of each pattern, checked once every parameter is in.
bool CheckRanges(const SignalRule& rule, std::string* reason) {
  switch (rule.pattern) {
    case SignalPattern::kSine:
    case SignalPattern::kSquare:
    case SignalPattern::kTriangle:
    case SignalPattern::kSawtooth:
      if (!(rule.period > 0)) {
        *reason = "period must be above 0";
        return false;
      }
      break;
    case SignalPattern::kSteps:
      if (!(rule.hold > 0)) {
        *reason = "hold must be above 0";
        return false;
      }
      if (rule.values.empty()) {
        *reason = "steps needs values=V1,V2,...";
        return false;
      }
      break;
    default:
      break;
  }
  if (rule.pattern == SignalPattern::kSquare && !(rule.duty >= 0 && rule.duty <= 1)) {
    *reason = "duty must be from 0 to 1";
    return false;
  }
  const bool ranged = rule.pattern == SignalPattern::kTriangle ||
                      rule.pattern == SignalPattern::kSawtooth ||
                      rule.pattern == SignalPattern::kRandom;
  if (ranged && rule.max < rule.min) {
    *reason = "max is below min";
    return false;
  }
  return true;
}

bool ParseRule(const std::vector<std::string_view>& words, SignalRule* rule, std::string* reason) {
  const platform::Status selector = ParseSignalSelector(words[0], &rule->selector);
  if (!selector.ok()) {
    *reason = selector.message();
    return false;
  }
  if (words.size() < 2) {
    *reason = "no pattern after the selector";
    return false;
  }
  const PatternEntry* entry = nullptr;
  for (const PatternEntry& candidate : kPatterns) {
    if (ScriptWordIs(words[1], candidate.name)) entry = &candidate;
  }
  if (entry == nullptr) {
    *reason = "unknown pattern '" + std::string(words[1]) + "' (" + kPatternList + ")";
    return false;
  }
  rule->pattern = entry->pattern;
  unsigned given = 0;  // a bit per parameter, to refuse one given twice
  for (size_t w = 2; w < words.size(); ++w) {
    const std::string_view word = words[w];
    const size_t equals = word.find('=');
    int index = -1;
    for (int i = 0; i < 5 && entry->parameters[i] != nullptr; ++i) {
      if (equals != std::string_view::npos &&
          ScriptWordIs(word.substr(0, equals), entry->parameters[i])) {
        index = i;
      }
    }
    if (index < 0) {
      const std::string list = ParameterList(*entry);
      *reason =
          "'" + std::string(word) + "': " + entry->name +
          (list.empty() ? " takes no parameters" : " takes NAME=VALUE with NAME one of " + list);
      return false;
    }
    const std::string name = entry->parameters[index];
    if (given & (1u << index)) {
      *reason = name + " is given twice";
      return false;
    }
    given |= 1u << index;
    const std::string_view text = word.substr(equals + 1);
    if (name == "values") {
      if (!ReadValueList(text, &rule->values, reason)) return false;
    } else if (name == "seed") {
      if (!ReadSeed(text, &rule->seed)) {
        *reason = "seed: '" + std::string(text) + "' is not a whole number from 0 to 2^64 - 1";
        return false;
      }
    } else if (!ReadScriptDecimal(text, &(rule->*(entry->fields[index])))) {
      *reason = name + ": '" + std::string(text) + "' is not a finite decimal";
      return false;
    }
  }
  return CheckRanges(*rule, reason);
}

bool ReadPosition(std::string_view text, int64_t* position) {
  if (text.empty() || text.size() > 9) return false;
  int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  *position = n;
  return n >= 1;
}

}  // namespace

const char* SignalPatternName(SignalPattern pattern) {
  for (const PatternEntry& entry : kPatterns) {
    if (entry.pattern == pattern) return entry.name;
  }
  return "?";
}

platform::Status ParseSignalSelector(std::string_view word, SignalSelector* selector) {
  *selector = SignalSelector{};
  if (word == "*") {
    selector->kind = SelectorKind::kAll;
    return platform::Status::Ok();
  }
  if (word.size() > 5 && ScriptWordIs(word.substr(0, 5), "rate=")) {
    selector->kind = SelectorKind::kRate;
    if (!ReadScriptDecimal(word.substr(5), &selector->rate) || !(selector->rate > 0)) {
      return platform::Status::InvalidArgument("'" + std::string(word) +
                                               "': the rate must be a decimal above 0");
    }
    return platform::Status::Ok();
  }
  if (word.front() == '#') {
    selector->kind = SelectorKind::kPositions;
    const std::string_view range = word.substr(1);
    const size_t dash = range.find('-');
    const bool read = dash == std::string_view::npos
                          ? ReadPosition(range, &selector->first)
                          : ReadPosition(range.substr(0, dash), &selector->first) &&
                                ReadPosition(range.substr(dash + 1), &selector->last);
    if (dash == std::string_view::npos) selector->last = selector->first;
    if (!read || selector->last < selector->first) {
      return platform::Status::InvalidArgument(
          "'" + std::string(word) +
          "': positions are #A or #A-B, whole numbers from 1 with B at least A");
    }
    return platform::Status::Ok();
  }
  if (word.size() > 1024) {
    return platform::Status::InvalidArgument("a name of more than 1024 characters");
  }
  selector->kind = SelectorKind::kName;
  selector->name = std::string(word);
  return platform::Status::Ok();
}

bool HasWildcard(std::string_view name) {
  return name.find_first_of("*?") != std::string_view::npos;
}

platform::Status ParseSignals(std::string_view text, SignalsFile* file) {
  SignalsFile parsed;
  int32_t lineNumber = 0;
  size_t wildcardRules = 0;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = TrimScriptLine(text.substr(at, end - at));
    at = end + 1;
    ++lineNumber;
    // A "#" and a digit at the start is a position selector; any other "#"
    // starts a comment.
    const bool positions = line.size() >= 2 && line[0] == '#' && line[1] >= '0' && line[1] <= '9';
    const size_t comment = line.find('#', positions ? 1 : 0);
    line = TrimScriptLine(line.substr(0, comment));
    if (line.empty()) continue;
    if (parsed.rules.size() == kMaxSignalRules) {
      return platform::Status::InvalidArgument("more than " + std::to_string(kMaxSignalRules) +
                                               " rules");
    }
    SignalRule rule;
    std::string reason;
    if (!ParseRule(ScriptWords(line), &rule, &reason)) {
      return platform::Status::InvalidArgument("line " + std::to_string(lineNumber) + ": " +
                                               reason);
    }
    if (rule.selector.kind == SelectorKind::kName && HasWildcard(rule.selector.name) &&
        ++wildcardRules > kMaxWildcardRules) {
      return platform::Status::InvalidArgument("line " + std::to_string(lineNumber) +
                                               ": more than " + std::to_string(kMaxWildcardRules) +
                                               " rules select names with * or ?");
    }
    rule.line = lineNumber;
    rule.text = std::string(line);
    parsed.rules.push_back(std::move(rule));
  }
  *file = std::move(parsed);
  return platform::Status::Ok();
}

platform::Status LoadSignals(const std::string& path, SignalsFile* file) {
  std::string text;
  const platform::Status read = ReadScriptFile(path, kMaxSignalsFileBytes, &text);
  if (!read.ok()) return read;
  return ParseSignals(text, file);
}

}  // namespace packet
