// Reading numbers from the command line and from parameter files.
//
// Both readers follow the C library's lenient rules (leading white space, an
// optional sign, whatever follows the number is ignored, no number reads as
// 0) but accept only plain decimal text: no hexadecimal forms, no "inf" or
// "nan". Integers saturate at the 32-bit signed range instead of wrapping,
// and a decimal number that is not finite as a double (1e400) reads as 0,
// so nothing downstream ever converts an infinity or a NaN.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string_view>

namespace packet {

// White space as the C locale's isspace sees it: blank, \t, \n, \v, \f, \r.
bool IsBlank(char c);

int32_t ReadDecimalInt32(std::string_view text);
double ReadDecimalDouble(std::string_view text);

// A whole decimal number and nothing else (blanks around it and a sign are
// allowed), for readers that refuse what the lenient ones would guess at.
enum class WholeNumber { kOk, kNotANumber, kOutOfRange };
WholeNumber ReadWholeNumber(std::string_view text, int64_t low, int64_t high, int64_t& value);

// Truncates toward zero into the 32-bit signed range; values beyond it
// saturate and a NaN reads as 0.
int32_t TruncateToInt32(double value);

}  // namespace packet
