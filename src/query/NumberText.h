// Reading numbers in place from row text, for the where-clause comparisons
// and the numeric sort of result lines.
//
// The texts are fields of a '|'-joined row: they are read from their start
// up to the first character that cannot continue the number, so the field
// separator and the terminator end a number without the field being copied.
// Leading white space (" \t\n\v\f\r") and a sign are allowed; a text
// without digits reads as 0.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>

namespace query {

// Signed decimal, saturated at the 32-bit limits.
int32_t ReadInt32(const char* text);
// Decimal read the same way and taken as an unsigned 32-bit number: values
// past the range saturate at 0xFFFFFFFF, a minus sign negates modulo 2^32.
uint32_t ReadUInt32(const char* text);
// The leading decimal number (fraction and exponent allowed). Hexadecimal,
// "inf" and "nan" spellings are not numbers here and read as 0 (or as the
// "0" before an "x"). REQUIRES: `text` is terminated.
double ReadDouble(const char* text);

}  // namespace query
