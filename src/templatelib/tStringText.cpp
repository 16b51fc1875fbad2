// tString: comparisons, trimming, slices, search, field utilities and the
// token reader.

#include <climits>
#include <cstring>
#include <functional>
#include <new>

#include "templatelib/DebugOut.h"
#include "templatelib/tString.h"

namespace {

// ASCII-only folding, independent of the process locale.
inline unsigned char UpperAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

inline bool IsTrimSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline int32_t Sign(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

// Null rules shared by every comparison; true when they decided.
inline bool CompareNulls(const char* a, const char* b, int32_t* result) {
  if (a != nullptr && b != nullptr) return false;
  *result = (a == nullptr && b == nullptr) ? 0 : (a == nullptr ? -1 : 1);
  return true;
}

int32_t CompareUpper(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    unsigned char ca = UpperAscii(static_cast<unsigned char>(a[i]));
    unsigned char cb = UpperAscii(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return 0;
}

// The trimmed view of `text`: its first non-blank character and length.
void TrimmedSpan(const char* text, const char** start, size_t* length) {
  const char* begin = text;
  while (IsTrimSpace(*begin)) ++begin;
  const char* end = begin + std::strlen(begin);
  while (end > begin && IsTrimSpace(end[-1])) --end;
  *start = begin;
  *length = static_cast<size_t>(end - begin);
}

}  // namespace

int32_t tString::Compare(const char* a, const char* b) {
  int32_t result;
  if (CompareNulls(a, b, &result)) return result;
  return Sign(std::strcoll(a, b));
}

int32_t tString::CompareNoCase(const char* a, const char* b) {
  int32_t result;
  if (CompareNulls(a, b, &result)) return result;
  for (;; ++a, ++b) {
    unsigned char ca = UpperAscii(static_cast<unsigned char>(*a));
    unsigned char cb = UpperAscii(static_cast<unsigned char>(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

int32_t tString::CompareTrimmed(const char* a, const char* b) {
  int32_t result;
  if (CompareNulls(a, b, &result)) return result;
  const char* startA;
  const char* startB;
  size_t lengthA;
  size_t lengthB;
  TrimmedSpan(a, &startA, &lengthA);
  TrimmedSpan(b, &startB, &lengthB);
  if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
  return CompareUpper(startA, startB, lengthA);
}

void tString::Trim() {
  if (text_ == nullptr) return;
  const char* start;
  size_t length;
  TrimmedSpan(text_, &start, &length);
  std::memmove(text_, start, length);
  text_[length] = '\0';
}

HRESULT tString::Truncate(int32_t count) {
  if (text_ == nullptr || count < 0) return E_FAIL;
  int32_t length = Length();
  if (count > length) return E_FAIL;
  text_[length - count] = '\0';
  return S_OK;
}

void tString::ToUpper() {
  if (text_ == nullptr) return;
  for (char* p = text_; *p != '\0'; ++p)
    *p = static_cast<char>(UpperAscii(static_cast<unsigned char>(*p)));
}

HRESULT tString::CopyStringSlice(const char* start, const char* end) {
  if (start == nullptr || end == nullptr) return E_POINTER;
  if (std::greater<const char*>()(start, end)) {
    DebugOut("tString::CopyStringSlice encountered corrupted slice (Start>End)!\n");
    return Assign("");
  }
  size_t span = static_cast<size_t>(end - start);
  size_t count = strnlen(start, span);
  if (count >= static_cast<size_t>(INT32_MAX - 2)) return E_OUTOFMEMORY;
  if (text_ != nullptr && static_cast<int64_t>(count) + 1 <= capacity_) {
    std::memmove(text_, start, count);
    text_[count] = '\0';
    return S_OK;
  }
  // Grow to the slice length + 2; the old buffer goes only after the copy,
  // because the slice may lie inside it.
  tString grown;
  if (grown.Reallocate(static_cast<int64_t>(count) + 2, /*keepText=*/false) != S_OK)
    return E_OUTOFMEMORY;
  std::memcpy(grown.text_, start, count);
  grown.text_[count] = '\0';
  *this = std::move(grown);
  return S_OK;
}

int32_t tString::CompareNoCaseN(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    unsigned char ca = UpperAscii(static_cast<unsigned char>(a[i]));
    unsigned char cb = UpperAscii(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == '\0') return 0;
  }
  return 0;
}

int32_t tString::FindNoCase(const char* haystack, const char* needle) {
  if (haystack == nullptr || *haystack == '\0') return -1;
  if (needle == nullptr || *needle == '\0') return 0;
  size_t needleLength = std::strlen(needle);
  unsigned char first = UpperAscii(static_cast<unsigned char>(*needle));
  for (const char* p = haystack; *p != '\0'; ++p) {
    if (UpperAscii(static_cast<unsigned char>(*p)) != first) continue;
    // CompareUpper stops at the first difference, and the haystack's
    // terminator differs from any needle character, so it never reads past.
    if (CompareUpper(p, needle, needleLength) == 0) {
      return p - haystack > INT32_MAX ? -1 : static_cast<int32_t>(p - haystack);
    }
  }
  return -1;
}

int32_t tString::FieldCount(const char* text, char separator) {
  if (text == nullptr) return 0;
  int64_t count = 1;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == separator) ++count;
  }
  return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

HRESULT tString::GetField(const char* text, int32_t index, char separator, tString* field) {
  if (field == nullptr) return E_POINTER;
  if (text == nullptr || index < 0) {
    field->Empty();
    return E_FAIL;
  }
  const char* start = text;
  for (int32_t i = 0; i < index; ++i) {
    start = std::strchr(start, separator);
    if (start == nullptr || separator == '\0') {
      field->Empty();
      return E_FAIL;
    }
    ++start;
  }
  const char* end = start;
  while (*end != '\0' && *end != separator) ++end;
  return field->AssignN(start, static_cast<int32_t>(end - start));
}

HRESULT tString::SetFieldCount(int32_t fieldCount, char separator) {
  if (fieldCount < 0 || separator == '\0') return E_INVALIDARG;
  if (fieldCount == 0) {
    Release();
    return S_OK;
  }
  if (text_ == nullptr) {
    HRESULT hr = Assign("");
    if (hr != S_OK) return hr;
  }
  int32_t separatorsSeen = 0;
  for (char* p = text_; *p != '\0'; ++p) {
    if (*p == separator && ++separatorsSeen == fieldCount) {
      *p = '\0';  // cut at the fieldCount-th separator
      return S_OK;
    }
  }
  int32_t missing = fieldCount - (separatorsSeen + 1);
  if (missing <= 0) return S_OK;
  int64_t length = Length();
  if (length + missing + 1 > INT32_MAX) return E_OUTOFMEMORY;
  if (length + missing + 1 > capacity_) {
    HRESULT hr = Reallocate(length + missing + 1 + kSmallReserve, /*keepText=*/true);
    if (hr != S_OK) return hr;
  }
  std::memset(text_ + length, separator, static_cast<size_t>(missing));
  text_[length + missing] = '\0';
  return S_OK;
}

HRESULT tString::NextToken(const char** position, char delimiter, tString* token) {
  if (position == nullptr || *position == nullptr || token == nullptr) return E_POINTER;
  const char* start = *position;
  if (*start == '\0') return E_FAIL;
  const char* end = start;
  while (*end != '\0' && *end != delimiter) ++end;
  int64_t length = end - start;
  if (token->text_ == nullptr || length + 1 > token->capacity_) {
    int32_t current = token->text_ != nullptr ? token->capacity_ : 0;
    int32_t grown = DoubledCapacity(current, length + 1, kTokenInitialCapacity);
    if (grown == 0 || token->Reallocate(grown, /*keepText=*/false) != S_OK) return E_OUTOFMEMORY;
  }
  std::memcpy(token->text_, start, static_cast<size_t>(length));
  token->text_[length] = '\0';
  *position = *end != '\0' ? end + 1 : end;
  return S_OK;
}
