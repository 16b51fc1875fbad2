// Narrow <-> wide text conversion with the library's failure rules.
//
// `count` is the size of the destination in characters (terminator
// included); a negative count means "the source length plus one", i.e. the
// caller promises a destination large enough for the whole text. Conversion
// uses the current C locale (the multibyte encoding of the process).
//
// When the source holds a character the destination encoding cannot carry,
// the destination receives the convertible prefix followed by 'X' for every
// remaining source character (never past `count`), is terminated when
// `terminate` is set, a diagnostic naming the result goes to the debug
// output, and the call still returns S_OK: callers use the text as a name
// and a readable stand-in beats a failure.
//
// A null source gives an empty destination; a null destination returns
// E_POINTER. With `terminate` set the destination is always terminated within
// `count` characters, even when the text had to be cut.
//
// Thread safety: any thread; the conversion state is local to the call.
#pragma once

#include <cstdint>

#include "templatelib/Result.h"

// Narrow from wide.
HRESULT tStrCpy(char* dest, const wchar_t* source, int32_t count = -1, bool terminate = true);
// Wide from narrow.
HRESULT tStrCpy(wchar_t* dest, const char* source, int32_t count = -1, bool terminate = true);
