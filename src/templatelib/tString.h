// tString: the library's counted narrow string, with its text utilities; and
// tWString, the wide twin used for archive paths and entry names.
//
// A tString is a pointer to an owned, NUL-terminated heap buffer (or null)
// and the buffer's usable capacity in bytes, terminator included. A null
// string and an empty string are different states and the comparisons keep
// them apart. Every buffer is allocated with 8 spare bytes beyond the
// recorded capacity. Growth that would pass the 32-bit capacity fails with
// E_OUTOFMEMORY instead of wrapping; a failed allocation leaves the string
// as it was unless the operation says otherwise.
//
// Copying: tString is movable but not copyable; copy text on purpose with
// Assign(other), which reports an allocation failure.
//
// Case rules: "NoCase" operations fold ASCII letters only, so that the
// result does not depend on the process locale.
//
// Thread safety: none; a string is used by one thread at a time. The static
// helpers keep no state.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "platform/PrintfFormat.h"
#include "templatelib/Result.h"

class tString {
 public:
  // Every buffer gets this many bytes beyond its recorded capacity.
  static constexpr int32_t kSpareBytes = 8;
  // First buffer of a formatted assign into a string without one.
  static constexpr int32_t kFormatInitialCapacity = 40;
  // First buffer of the token reader's output.
  static constexpr int32_t kTokenInitialCapacity = 25;
  // First buffer of the line reader.
  static constexpr int32_t kLineInitialCapacity = 200;
  // The reserves the library passes to Append.
  static constexpr int32_t kSmallReserve = 8;
  static constexpr int32_t kLargeReserve = 40;

  tString() = default;
  ~tString();
  tString(tString&& other) noexcept;
  tString& operator=(tString&& other) noexcept;
  tString(const tString&) = delete;
  tString& operator=(const tString&) = delete;

  // ---- state -------------------------------------------------------------
  // The text, or null. Valid until the next change of the string.
  const char* Text() const { return text_; }
  // The buffer for in-place edits of at most Capacity() - 1 characters; the
  // caller keeps it terminated. Null when the string has no buffer.
  char* Buffer() { return text_; }
  int32_t Capacity() const { return capacity_; }
  int32_t Length() const;  // 0 for a null string
  bool IsNull() const { return text_ == nullptr; }
  bool IsNullOrEmpty() const { return text_ == nullptr || text_[0] == '\0'; }

  // Makes the text empty, keeping the buffer (a null string stays null).
  void Empty();
  // Frees the buffer: the string becomes null.
  void Release();
  // Ensures room for `capacity` bytes (terminator included), keeping the
  // text; a null string becomes empty.
  HRESULT Reserve(int32_t capacity);

  // ---- assign and append -------------------------------------------------
  // A null source empties the string (keeping its buffer). A source that
  // does not fit replaces the buffer with one of exactly the needed size.
  HRESULT Assign(const char* text);
  HRESULT Assign(const tString& other);
  // Assigns the first `length` characters of `text` (stopping early at a
  // terminator).
  HRESULT AssignN(const char* text, int32_t length);
  // When the joined text does not fit, the buffer is replaced by one of the
  // joined length + `reserve` + 1 bytes.
  HRESULT Append(const char* text, int32_t reserve = kSmallReserve);
  HRESULT Append(const tString& other, int32_t reserve = kSmallReserve);
  HRESULT AppendChar(char c, int32_t reserve = kSmallReserve);

  // printf-style assign. A string without a buffer first gets 40 bytes; the
  // capacity doubles until the text fits, so nothing is ever cut. Any other
  // formatting failure leaves "Format Error" and returns E_FAIL; an
  // allocation failure (or growth past 32 bits) returns E_OUTOFMEMORY and
  // leaves the string empty. REQUIRES: no argument points into this
  // string's own buffer (the text is formatted in place).
  HRESULT Format(const char* format, ...) YEB_PRINTF_FORMAT(2, 3);
  HRESULT FormatV(const char* format, va_list args);

  // The time `nanoseconds` as day:hh:mm:ss.fraction ("001:00:00:00.980" for
  // one day and 0.98 s with 3 digits and the day field). `fractionDigits` is
  // clamped to 0..9 (0: no decimal point); `showDay` nonzero shows the day
  // field (at least three digits). Returns the formatted assign's status.
  HRESULT FormatTime(int64_t nanoseconds, int32_t fractionDigits, int32_t showDay);

  // ---- comparison --------------------------------------------------------
  // All return -1, 0 or 1. Null vs null is 0, null vs text -1, text vs null 1.
  // Case-sensitive, in the locale's collation order.
  static int32_t Compare(const char* a, const char* b);
  // ASCII case-insensitive.
  static int32_t CompareNoCase(const char* a, const char* b);
  // Leading and trailing white space ignored; a shorter trimmed text is
  // smaller whatever its characters; equal lengths compare uppercased.
  static int32_t CompareTrimmed(const char* a, const char* b);
  // The first `length` bytes of both, ASCII case-insensitive (a shorter
  // text differs at its terminator). REQUIRES: non-null texts.
  static int32_t CompareNoCaseN(const char* a, const char* b, size_t length);
  int32_t Compare(const char* other) const { return Compare(text_, other); }
  int32_t CompareNoCase(const char* other) const { return CompareNoCase(text_, other); }
  int32_t CompareTrimmed(const char* other) const { return CompareTrimmed(text_, other); }

  // ---- edits -------------------------------------------------------------
  // Removes leading and trailing " \t\n\v\f\r".
  void Trim();
  // Removes the last `count` characters; E_FAIL when `count` is negative or
  // exceeds the length, or the string is null.
  HRESULT Truncate(int32_t count);
  // Uppercases ASCII letters in place.
  void ToUpper();

  // Copies [start, end) (stopping early at a terminator) into the string,
  // growing it to the slice length + 2 when needed. A slice whose start lies
  // after its end is reported on the debug output and gives an empty string
  // with S_OK. E_POINTER for a null start or end.
  HRESULT CopyStringSlice(const char* start, const char* end);

  // ---- search and fields -------------------------------------------------
  // Position of `needle` in `haystack` ignoring ASCII case, or -1. An empty
  // or null haystack never matches; an empty (or null) needle matches at 0
  // in a non-empty haystack.
  static int32_t FindNoCase(const char* haystack, const char* needle);

  // Number of `separator`-separated fields: 0 for null, 1 for "", else
  // separators + 1.
  static int32_t FieldCount(const char* text, char separator);
  // Field `index` (0-based; empty fields count) into `field`. E_POINTER for
  // a null `field`, E_FAIL when the text has no such field (`field` is then
  // emptied).
  static HRESULT GetField(const char* text, int32_t index, char separator, tString* field);
  // Brings the text to exactly `fieldCount` fields: cut before the
  // fieldCount-th separator, or filled up with separators. 0 makes the
  // string null; a negative count is E_INVALIDARG.
  HRESULT SetFieldCount(int32_t fieldCount, char separator);

  // ---- readers -----------------------------------------------------------
  // Copies the characters from *position up to `delimiter` (or the end of
  // the text) into `token`, skips the delimiter and advances *position.
  // The token's buffer starts at 25 bytes and doubles when full. S_OK for a
  // token (possibly empty), E_FAIL when *position is already at the end,
  // E_POINTER for a null argument, E_OUTOFMEMORY when growing fails.
  static HRESULT NextToken(const char** position, char delimiter, tString* token);

  // Reads one whole line of any length from `stream` (line feed kept, as
  // fgets does) into this string, growing the buffer from 200 bytes by
  // doubling. Returns the text, or null at end of file, on a read error or
  // when the buffer cannot grow. A last line without a line feed is
  // returned whatever its length.
  char* ReadLine(std::FILE* stream);

  // True when `fileName` names a file that can be opened for reading. False
  // for a null or empty name (no file-system access) and for a folder.
  static bool FileExists(const char* fileName);

 private:
  // Replaces the buffer by a new one of `capacity` usable bytes, copying
  // the current text when `keepText` is set.
  HRESULT Reallocate(int64_t capacity, bool keepText);

  char* text_ = nullptr;
  int32_t capacity_ = 0;
};

// The capacity that doubling reaches from `current` until `needed` bytes
// fit; 0 when that would pass the 32-bit range. `current` below 1 starts at
// `initial`.
int32_t DoubledCapacity(int32_t current, int64_t needed, int32_t initial);

// Stand-in for the platform's string allocator: a wide buffer of `chars`
// usable characters (plus spare), and its release.
wchar_t* AllocWideStringBuffer(int32_t chars);
void FreeWideStringBuffer(wchar_t* buffer);

// The wide twin, for archive paths and entry names. Same rules as tString;
// its buffer comes from AllocWideStringBuffer.
class tWString {
 public:
  tWString() = default;
  ~tWString();
  tWString(tWString&& other) noexcept;
  tWString& operator=(tWString&& other) noexcept;
  tWString(const tWString&) = delete;
  tWString& operator=(const tWString&) = delete;

  const wchar_t* Text() const { return text_; }
  int32_t Capacity() const { return capacity_; }
  int32_t Length() const;
  bool IsNull() const { return text_ == nullptr; }
  void Empty();
  void Release();

  HRESULT Assign(const wchar_t* text);
  // Converts narrow text (tStrCpy rules: unconvertible characters become
  // 'X').
  HRESULT AssignNarrow(const char* text);
  HRESULT Append(const wchar_t* text, int32_t reserve = tString::kSmallReserve);
  HRESULT Format(const wchar_t* format, ...);
  // Converts to narrow text into `out` (tStrCpy rules).
  HRESULT ToNarrow(tString* out) const;

  static int32_t CompareNoCase(const wchar_t* a, const wchar_t* b);

 private:
  HRESULT Reallocate(int64_t capacity, bool keepText);

  wchar_t* text_ = nullptr;
  int32_t capacity_ = 0;
};
