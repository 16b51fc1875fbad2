// A signals file: which parameters carry which waveform instead of the
// counter.
//
// Text, one rule a line: "SELECTOR PATTERN [NAME=VALUE ...]". Blank lines
// are skipped and "#" starts a comment, on its own line or after a rule;
// only a "#" that begins a line and is followed by a digit is a selector
// ("#3-5"), so "# 3" is a comment and "#3" is not. Later rules override
// earlier ones for the parameters they select.
//
// Selectors:
//   *          every parameter
//   NAME       a name as the run's parameter list writes it, with the
//              wildcards * (any run of characters) and ? (one character)
//   rate=R     every parameter of sample rate R
//   #A-B, #A   parameters A to B in table order, counted from 1
// Patterns, their parameters and defaults: see SignalValues.h for the
// formulas. Pattern and parameter names are matched without regard to
// case; parameter names in selectors are matched exactly.
//
// The same file serves the stress tool (which sends the values) and the
// verifier (which checks them), so parsing lives here, below both.
//
// Thread safety: plain values and pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace packet {

enum class SignalPattern {
  kCounter,
  kConstant,
  kSine,
  kSquare,
  kTriangle,
  kSawtooth,
  kSteps,
  kRandom,
  kSpecial,
};

enum class SelectorKind { kAll, kName, kRate, kPositions };

struct SignalSelector {
  SelectorKind kind = SelectorKind::kAll;
  std::string name;   // kName: the pattern with its wildcards
  double rate = 0.0;  // kRate
  int64_t first = 0;  // kPositions, from 1
  int64_t last = 0;   // kPositions, at least `first`
};

// One rule with every parameter of its pattern filled in (defaults where the
// line gave none); the fields a pattern does not use keep their defaults.
struct SignalRule {
  SignalSelector selector;
  SignalPattern pattern = SignalPattern::kCounter;
  double value = 0.0;          // constant
  double amplitude = 1.0;      // sine
  double period = 1.0;         // sine, square, triangle, sawtooth: seconds
  double offset = 0.0;         // sine
  double phase = 0.0;          // sine: degrees
  double low = 0.0;            // square
  double high = 1.0;           // square
  double duty = 0.5;           // square: the share of the period spent high
  double min = 0.0;            // triangle, sawtooth, random
  double max = 1.0;            // triangle, sawtooth, random
  double hold = 1.0;           // steps: seconds per value
  std::vector<double> values;  // steps
  uint64_t seed = 1;           // random
  int32_t line = 0;            // in the file, from 1
  std::string text;            // the rule as written, comment and blanks trimmed
};

struct SignalsFile {
  std::vector<SignalRule> rules;  // in file order
};

// Limits that keep a hostile file from sizing anything.
inline constexpr size_t kMaxSignalsFileBytes = 1 << 20;
inline constexpr size_t kMaxSignalRules = 10000;
inline constexpr size_t kMaxStepValues = 4096;
// A name with a wildcard is tried against every parameter not yet decided;
// this bounds that work to about a quarter of a billion matches on the
// largest table.
inline constexpr size_t kMaxWildcardRules = 1000;

// Whether a name selector holds a `*` or `?`.
bool HasWildcard(std::string_view name);

// The pattern's name as a rule writes it ("sine").
const char* SignalPatternName(SignalPattern pattern);

// Parses a selector word ("*", "S01_Parm1?", "rate=100", "#3-5"); fails,
// saying why, when it cannot be read.
platform::Status ParseSignalSelector(std::string_view word, SignalSelector* selector);

// Parses a file's text. Fails with "line N: what is wrong" (or a
// whole-file reason) when any line cannot be read; nothing is half-read.
platform::Status ParseSignals(std::string_view text, SignalsFile* file);
// Reads and parses a signals file (a regular file of at most
// kMaxSignalsFileBytes); the failure does not name the path.
platform::Status LoadSignals(const std::string& path, SignalsFile* file);

}  // namespace packet
