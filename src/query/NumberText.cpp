// In-place number readers; see NumberText.h.

#include "query/NumberText.h"

#include <cstdlib>

namespace query {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Skips white space and a sign; returns the first digit position. Sets
// *negative for a minus sign. The magnitude is accumulated saturating at
// `limit`.
uint64_t ReadMagnitude(const char* text, bool* negative, uint64_t limit) {
  const char* p = text;
  while (IsSpace(*p)) ++p;
  *negative = false;
  if (*p == '+' || *p == '-') {
    *negative = (*p == '-');
    ++p;
  }
  uint64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (value < limit) value = value * 10 + static_cast<uint64_t>(*p - '0');
  }
  return value < limit ? value : limit;
}

}  // namespace

int32_t ReadInt32(const char* text) {
  if (text == nullptr) return 0;
  bool negative = false;
  // One past INT32_MAX so that INT32_MIN is reachable.
  uint64_t magnitude = ReadMagnitude(text, &negative, 2147483648ull);
  if (negative) return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  return magnitude > 2147483647ull ? INT32_MAX : static_cast<int32_t>(magnitude);
}

uint32_t ReadUInt32(const char* text) {
  if (text == nullptr) return 0;
  bool negative = false;
  uint64_t magnitude = ReadMagnitude(text, &negative, 0xFFFFFFFFull);
  uint32_t value = static_cast<uint32_t>(magnitude);
  return negative ? static_cast<uint32_t>(0u - value) : value;
}

double ReadDouble(const char* text) {
  if (text == nullptr) return 0.0;
  const char* p = text;
  while (IsSpace(*p)) ++p;
  const char* number = p;
  if (*p == '+' || *p == '-') ++p;
  // strtod would also take hexadecimal and the words inf and nan; a
  // leading decimal number must start with a digit or a point and a digit.
  bool decimal = (*p >= '0' && *p <= '9') || (*p == '.' && p[1] >= '0' && p[1] <= '9');
  if (!decimal) return 0.0;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) return 0.0;
  return std::strtod(number, nullptr);
}

}  // namespace query
