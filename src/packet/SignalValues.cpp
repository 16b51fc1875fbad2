#include "packet/SignalValues.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace packet {
namespace {

constexpr uint32_t kSpecialBits[] = {
    0x00000000u,  // 0
    0x80000000u,  // -0
    0x00800000u,  // the smallest normal
    0x00000001u,  // the smallest denormal
    0x7F7FFFFFu,  // the largest float
    0xFF7FFFFFu,  // its negative
    0x7F800000u,  // +infinity
    0xFF800000u,  // -infinity
    0x7FC00000u,  // a quiet NaN
};
constexpr uint64_t kSpecialCount = sizeof kSpecialBits / sizeof kSpecialBits[0];

// Past 2^53 a double no longer holds every whole number.
constexpr double kLargestWhole = 9007199254740992.0;

uint64_t WholeSamples(double samples) {
  if (!(samples >= 1.0) || samples > kLargestWhole || samples != std::floor(samples)) return 0;
  return static_cast<uint64_t>(samples);
}

double Fraction(double t, double period) {
  const double u = t / period;
  return u - std::floor(u);
}

}  // namespace

uint64_t SignalPeriodSamples(const SignalRule& rule, double rate) {
  switch (rule.pattern) {
    case SignalPattern::kConstant:
      return 1;
    case SignalPattern::kSpecial:
      return kSpecialCount;
    case SignalPattern::kSine:
    case SignalPattern::kSquare:
    case SignalPattern::kTriangle:
    case SignalPattern::kSawtooth:
      return WholeSamples(rule.period * rate);
    case SignalPattern::kSteps:
      return WholeSamples(rule.hold * rate * static_cast<double>(rule.values.size()));
    case SignalPattern::kCounter:
    case SignalPattern::kRandom:
      break;
  }
  return 0;
}

float SignalValue(const SignalRule& rule, double rate, uint64_t position, uint64_t n) {
  constexpr double kPi = std::numbers::pi;
  if (rule.pattern == SignalPattern::kRandom) return RandomValue(rule, position, n);
  const uint64_t period = SignalPeriodSamples(rule, rate);
  const uint64_t m = period != 0 ? n % period : n;
  const double t = static_cast<double>(m) / rate;
  double value = 0.0;
  switch (rule.pattern) {
    case SignalPattern::kConstant:
      value = rule.value;
      break;
    case SignalPattern::kSine:
      value = rule.offset +
              rule.amplitude * std::sin(2.0 * kPi * t / rule.period + rule.phase * kPi / 180.0);
      break;
    case SignalPattern::kSquare:
      value = Fraction(t, rule.period) < rule.duty ? rule.high : rule.low;
      break;
    case SignalPattern::kTriangle: {
      const double f = Fraction(t, rule.period);
      value = rule.min + (rule.max - rule.min) * (f < 0.5 ? 2.0 * f : 2.0 - 2.0 * f);
      break;
    }
    case SignalPattern::kSawtooth:
      value = rule.min + (rule.max - rule.min) * Fraction(t, rule.period);
      break;
    case SignalPattern::kSteps: {
      // t / hold is below 2^64 for any n a run reaches; a float to integer
      // conversion out of range would be undefined, so it is bounded first.
      const double k = std::floor(t / rule.hold);
      const uint64_t count = rule.values.size();
      const uint64_t index = k < 1.8e19 ? static_cast<uint64_t>(k) % count : 0;
      value = rule.values[index];
      break;
    }
    case SignalPattern::kSpecial:
      return std::bit_cast<float>(kSpecialBits[m]);
    case SignalPattern::kCounter:
    case SignalPattern::kRandom:
      break;
  }
  return static_cast<float>(value);
}

SignalSource::SignalSource(const SignalRule& rule, double rate, uint64_t tableRoom)
    : rule_(&rule), rate_(rate), period_(SignalPeriodSamples(rule, rate)) {
  if (period_ == 0 || period_ > std::min(kMaxSignalTableSamples, tableRoom)) return;
  table_.resize(period_);
  for (uint64_t i = 0; i < period_; ++i) table_[i] = SignalValue(rule, rate, 0, i);
}

}  // namespace packet
