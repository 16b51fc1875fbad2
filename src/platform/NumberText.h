// Numbers read from text, the one way the whole project reads them: the
// command line, parameter files, configuration rows and statements.
//
// Every reader follows the C library's lenient rules (leading white space,
// an optional sign, whatever follows the number is ignored, no number reads
// as 0) but takes only plain decimal text: no hexadecimal forms, no "inf"
// or "nan". Integers saturate at their range instead of wrapping.
//
// The `const char*` forms read a number in place from a longer terminated
// text (a field of a '|'-joined row) without measuring the rest of it.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// White space as the C locale's isspace sees it: blank, \t, \n, \v, \f, \r.
bool IsBlank(char c);

// Signed decimal, saturated at the 32-bit limits.
int32_t ReadInt32(std::string_view text);
int32_t ReadInt32(const char* text);  // null reads as 0
// Read as ReadInt32 reads, taken as an unsigned 32-bit number: values past
// the range saturate at 0xFFFFFFFF, a minus sign negates modulo 2^32.
uint32_t ReadUInt32(const char* text);

// The leading decimal number (fraction and exponent allowed); a number that
// is not finite as a double (1e400) reads as 0, so nothing downstream ever
// converts an infinity or a NaN.
double ReadFiniteDouble(std::string_view text);
// The same number as the C library's strtod reads it, infinities of
// numbers too large included (a where clause compares them as such).
double ReadDouble(const char* text);  // null reads as 0

// A whole decimal number and nothing else (blanks around it and a sign are
// allowed), for readers that refuse what the lenient ones would guess at.
enum class WholeNumber { kOk, kNotANumber, kOutOfRange };
WholeNumber ReadWholeNumber(std::string_view text, int64_t low, int64_t high, int64_t& value);

// Truncates toward zero into the 32-bit signed range; values beyond it
// saturate and a NaN reads as 0.
int32_t TruncateToInt32(double value);

}  // namespace platform
