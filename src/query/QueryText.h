// Text helpers of the statement engine: keyword search, clause slicing and
// field access over '|'-joined rows, all without regard to letter case where
// names are compared.
//
// Positions are byte offsets into the statement text; -1 means "not found".
#pragma once

#include <cstdint>

#include "templatelib/Result.h"
#include "templatelib/tString.h"

namespace query {

// The white space that clause texts are stripped of.
bool IsStripSpace(char c);

// The first occurrence of `needle` at or after `start`, ignoring case.
// REQUIRES: `start` lies within the text (at most its length).
int32_t FindFrom(const char* text, int32_t start, const char* needle);
// The last occurrence of `needle`, ignoring case.
int32_t FindLast(const char* text, const char* needle);
// Like FindFrom, but only where `needle` starts a word: at `start`'s text
// start or after white space.
int32_t FindWord(const char* text, int32_t start, const char* needle);
// True when `needle` occurs in `text` outside single quotes (ignoring case).
bool ContainsOutsideQuotes(const char* text, const char* needle);

// [start, end) of `text`, stripped; an end before the start gives "".
HRESULT SliceStripped(const char* text, int32_t start, int32_t end, tString* out);
// The text after `position`, stripped.
HRESULT RestStripped(const char* text, int32_t position, tString* out);

// The position of `name` among the '|'-joined `names` (whole name, no
// regard to case), or -1.
int32_t FieldPosition(const char* names, const char* name);
// The span of field `index` of a '|'-joined `text`; false when the text has
// fewer fields.
bool FieldSpan(const char* text, int32_t index, const char** start, int32_t* length);

}  // namespace query
