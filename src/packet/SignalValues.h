// The values of the signal patterns, and their periodic tables.
//
// A parameter's sample n (counted from 0 when the tool starts and carrying
// on across transfers) falls at t = n / rate seconds. Every value is worked
// out in double precision and rounded once to single precision:
//   constant  value
//   sine      offset + amplitude * sin(2 * pi * t / period + phase * pi / 180)
//   square    high when f < duty, else low
//   triangle  min + (max - min) * (2f when f < 0.5, else 2 - 2f)
//   sawtooth  min + (max - min) * f
//   steps     values[k mod count], k the whole part of t / hold
//   random    min + (max - min) * (splitmix64(s) >> 11) * 2^-53, with
//             s = seed ^ (p * 0x9E3779B97F4A7C15) ^ (n * 0xD1B54A32D192ED03)
//   special   0, -0, the smallest normal, the smallest denormal, the
//             largest float, its negative, +inf, -inf, NaN (0x7FC00000),
//             one per sample, round and round
// with f the fractional part of t / period and p the parameter's table
// position from 1. The products are formed left to right as written.
//
// When a pattern repeats after a whole number of samples P (period x rate;
// hold x rate x count for steps; 9 for special), n is first reduced modulo
// P. That changes t by whole periods only, so the formula is unchanged, but
// it makes the values repeat bit for bit however long the run, which is
// what lets a table of one period stand in for the formula.
//
// Thread safety: pure functions; a SignalSource is immutable once made.
#pragma once

#include <cstdint>
#include <vector>

#include "packet/SignalRules.h"

namespace packet {

inline uint64_t SplitMix64(uint64_t z) {
  z += 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// The random pattern's value; inline because it is never tabled.
inline float RandomValue(const SignalRule& rule, uint64_t position, uint64_t n) {
  const uint64_t s = rule.seed ^ (position * 0x9E3779B97F4A7C15ull) ^ (n * 0xD1B54A32D192ED03ull);
  const double u = static_cast<double>(SplitMix64(s) >> 11) * 0x1p-53;
  return static_cast<float>(rule.min + (rule.max - rule.min) * u);
}

// The number of samples after which the rule's values repeat at `rate`, or
// 0 when that is not a whole number (or the pattern does not repeat).
uint64_t SignalPeriodSamples(const SignalRule& rule, double rate);

// The value of sample `n` of the parameter at table position `position`
// (from 1) with sample rate `rate`. REQUIRES: not the counter pattern.
float SignalValue(const SignalRule& rule, double rate, uint64_t position, uint64_t n);

// Periods longer than this are worked out sample by sample, not tabled.
inline constexpr uint64_t kMaxSignalTableSamples = 1 << 20;
// All the tables of one run together (16 MiB of values): the sources past
// it work their values out sample by sample, slower but the same values,
// so that no signals file can size the tool's memory.
inline constexpr uint64_t kMaxSignalTableTotalSamples = 1 << 22;

// One rule at one sample rate, ready to hand out values: a table of one
// period when the period is whole and not too long, else the formula.
class SignalSource {
 public:
  // Tables one period when it fits in `tableRoom` samples (and the per
  // table limit).
  SignalSource(const SignalRule& rule, double rate, uint64_t tableRoom = kMaxSignalTableSamples);

  const SignalRule& rule() const { return *rule_; }
  double rate() const { return rate_; }
  // The whole period in samples, or 0.
  uint64_t period() const { return period_; }
  // One period of values, or null when there is no table.
  const float* table() const { return table_.empty() ? nullptr : table_.data(); }
  uint64_t tableSamples() const { return table_.size(); }

  float At(uint64_t position, uint64_t n) const {
    if (!table_.empty()) return table_[n % period_];
    if (rule_->pattern == SignalPattern::kRandom) return RandomValue(*rule_, position, n);
    return SignalValue(*rule_, rate_, position, n);
  }

 private:
  const SignalRule* rule_;  // owned by the signals file, which outlives this
  double rate_;
  uint64_t period_;
  std::vector<float> table_;
};

}  // namespace packet
