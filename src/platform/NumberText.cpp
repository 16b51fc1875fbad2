#include "platform/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace platform {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t SkipBlanks(std::string_view text, size_t at) {
  while (at < text.size() && IsBlank(text[at])) ++at;
  return at;
}

// Where the digits start after leading blanks and a sign; `negative` tells
// the sign.
size_t SkipBlanksAndSign(std::string_view text, bool* negative) {
  size_t at = SkipBlanks(text, 0);
  *negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  return at;
}

// The leading blanks, sign and digits of a terminated text (with the
// fraction and exponent when asked): all a reader can look at, found
// without running to the terminator.
std::string_view NumberPrefix(const char* text, bool fraction) {
  const char* p = text;
  while (IsBlank(*p)) ++p;
  if (*p == '+' || *p == '-') ++p;
  while (IsDigit(*p)) ++p;
  if (fraction) {
    if (*p == '.') {
      ++p;
      while (IsDigit(*p)) ++p;
    }
    if (*p == 'e' || *p == 'E') {
      const char* exponent = p + 1;
      if (*exponent == '+' || *exponent == '-') ++exponent;
      if (IsDigit(*exponent)) {
        p = exponent;
        while (IsDigit(*p)) ++p;
      }
    }
  }
  return std::string_view(text, static_cast<size_t>(p - text));
}

// Blanks and a sign, then the digits' magnitude saturated at `ceiling`.
uint64_t ReadMagnitude(std::string_view text, uint64_t ceiling, bool* negative) {
  size_t at = SkipBlanksAndSign(text, negative);
  uint64_t magnitude = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(text[at] - '0');
    if (magnitude > ceiling) magnitude = ceiling;
  }
  return magnitude;
}

}  // namespace

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int32_t ReadInt32(std::string_view text) {
  bool negative = false;
  // One past the largest value, so that the smallest is reachable.
  const uint64_t magnitude = ReadMagnitude(text, uint64_t{1} << 31, &negative);
  if (negative) return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  if (magnitude > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(magnitude);
}

int32_t ReadInt32(const char* text) {
  return text == nullptr ? 0 : ReadInt32(NumberPrefix(text, /*fraction=*/false));
}

uint32_t ReadUInt32(const char* text) {
  if (text == nullptr) return 0;
  bool negative = false;
  const uint32_t value = static_cast<uint32_t>(
      ReadMagnitude(NumberPrefix(text, /*fraction=*/false), 0xFFFFFFFFull, &negative));
  return negative ? 0u - value : value;
}

WholeNumber ReadWholeNumber(std::string_view text, int64_t low, int64_t high, int64_t& value) {
  bool negative = false;
  size_t at = SkipBlanksAndSign(text, &negative);
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

double ReadFiniteDouble(std::string_view text) {
  bool negative = false;
  size_t at = SkipBlanksAndSign(text, &negative);
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

double ReadDouble(const char* text) {
  if (text == nullptr) return 0.0;
  const char* p = text;
  while (IsBlank(*p)) ++p;
  const char* number = p;
  if (*p == '+' || *p == '-') ++p;
  // strtod would also take hexadecimal and the words inf and nan; a
  // leading decimal number must start with a digit or a point and a digit.
  const bool decimal = IsDigit(*p) || (*p == '.' && IsDigit(p[1]));
  if (!decimal) return 0.0;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) return 0.0;
  return std::strtod(number, nullptr);
}

int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace platform
