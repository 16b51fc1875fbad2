#include "query/QueryText.h"

#include <cstring>

namespace query {

bool IsStripSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int32_t FindFrom(const char* text, int32_t start, const char* needle) {
  if (text == nullptr || start < 0) return -1;
  int32_t found = tString::FindNoCase(text + start, needle);
  return found < 0 ? -1 : start + found;
}

int32_t FindLast(const char* text, const char* needle) {
  if (text == nullptr || needle == nullptr) return -1;
  const size_t length = std::strlen(text);
  const size_t needleLength = std::strlen(needle);
  if (needleLength > length) return -1;
  for (size_t at = length - needleLength + 1; at-- > 0;) {
    if (tString::CompareNoCaseN(text + at, needle, needleLength) == 0) return int32_t(at);
  }
  return -1;
}

int32_t FindWord(const char* text, int32_t start, const char* needle) {
  for (int32_t at = FindFrom(text, start, needle); at >= 0; at = FindFrom(text, at + 1, needle)) {
    if (at == start || IsStripSpace(text[at - 1])) return at;
  }
  return -1;
}

bool ContainsOutsideQuotes(const char* text, const char* needle) {
  if (text == nullptr || needle == nullptr) return false;
  const size_t length = std::strlen(needle);
  if (length == 0) return true;
  const char first = needle[0];
  const char firstOther = (first >= 'a' && first <= 'z')   ? char(first - 32)
                          : (first >= 'A' && first <= 'Z') ? char(first + 32)
                                                           : first;
  bool quoted = false;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\'') {
      quoted = !quoted;
    } else if (!quoted && (*p == first || *p == firstOther) &&
               tString::CompareNoCaseN(p, needle, length) == 0) {
      return true;
    }
  }
  return false;
}

HRESULT SliceStripped(const char* text, int32_t start, int32_t end, tString* out) {
  if (text == nullptr || end <= start) return out->Assign("");
  while (start < end && IsStripSpace(text[start])) ++start;
  while (end > start && IsStripSpace(text[end - 1])) --end;
  return out->AssignN(text + start, end - start);
}

HRESULT RestStripped(const char* text, int32_t position, tString* out) {
  if (text == nullptr) return out->Assign("");
  return SliceStripped(text, position, int32_t(std::strlen(text)), out);
}

int32_t FieldPosition(const char* names, const char* name) {
  if (names == nullptr || name == nullptr) return -1;
  const size_t length = std::strlen(name);
  int32_t position = 0;
  for (const char* field = names;; ++position) {
    const char* end = std::strchr(field, '|');
    const size_t fieldLength = end != nullptr ? size_t(end - field) : std::strlen(field);
    if (fieldLength == length && tString::CompareNoCaseN(field, name, length) == 0) {
      return position;
    }
    if (end == nullptr) return -1;
    field = end + 1;
  }
}

bool FieldSpan(const char* text, int32_t index, const char** start, int32_t* length) {
  if (text == nullptr || index < 0) return false;
  // A plain byte walk: rows have many short fields, for which strchr's
  // set-up costs more than it saves.
  const char* field = text;
  for (int32_t i = 0; i < index; ++i) {
    while (*field != '|' && *field != '\0') ++field;
    if (*field == '\0') return false;
    ++field;
  }
  const char* end = field;
  while (*end != '|' && *end != '\0') ++end;
  *start = field;
  *length = int32_t(end - field);
  return true;
}

}  // namespace query
