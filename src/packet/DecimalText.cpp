#include "packet/DecimalText.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace packet {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t SkipBlanks(std::string_view text, size_t at) {
  while (at < text.size() && IsBlank(text[at])) ++at;
  return at;
}

}  // namespace

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int32_t ReadDecimalInt32(std::string_view text) {
  size_t at = SkipBlanks(text, 0);
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  // Accumulate the magnitude with a ceiling just past the range, so that
  // any number of digits cannot overflow.
  constexpr int64_t kCeiling = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    magnitude = magnitude * 10 + (text[at] - '0');
    if (magnitude > kCeiling) magnitude = kCeiling;
  }
  if (negative) return static_cast<int32_t>(-magnitude);  // -2^31 fits
  if (magnitude > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(magnitude);
}

WholeNumber ReadWholeNumber(std::string_view text, int64_t low, int64_t high, int64_t& value) {
  size_t at = SkipBlanks(text, 0);
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  const size_t digits = at;
  // Saturates far beyond any range asked for, so no digit count overflows.
  constexpr int64_t kCeiling = int64_t{1} << 62;
  int64_t magnitude = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    // Checked before the step, so no digit count can overflow it.
    magnitude = magnitude > kCeiling / 10 ? kCeiling : magnitude * 10 + (text[at] - '0');
  }
  if (at == digits || SkipBlanks(text, at) != text.size()) return WholeNumber::kNotANumber;
  const int64_t read = negative ? -magnitude : magnitude;
  if (read < low || read > high) return WholeNumber::kOutOfRange;
  value = read;
  return WholeNumber::kOk;
}

double ReadDecimalDouble(std::string_view text) {
  size_t at = SkipBlanks(text, 0);
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  // Scan the longest decimal form: digits, an optional fraction, and an
  // exponent only when digits follow its sign.
  const size_t start = at;
  size_t mantissaDigits = 0;
  while (at < text.size() && IsDigit(text[at])) ++at, ++mantissaDigits;
  if (at < text.size() && text[at] == '.') {
    ++at;
    while (at < text.size() && IsDigit(text[at])) ++at, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return 0.0;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    size_t exponent = at + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    if (exponent < text.size() && IsDigit(text[exponent])) {
      at = exponent;
      while (at < text.size() && IsDigit(text[at])) ++at;
    }
  }
  double value = 0.0;
  auto result =
      std::from_chars(text.data() + start, text.data() + at, value, std::chars_format::general);
  if (result.ec != std::errc() || !std::isfinite(value)) return 0.0;
  return negative ? -value : value;
}

int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace packet
