// tSqlEquationEngine: loading where clauses into records and a skeleton, and
// evaluating rows. How the skeleton becomes the program that reduce() runs
// is in tSqlEquationProgram.cpp.

#include "query/tSqlEquationEngine.h"

#include <algorithm>
#include <cstring>

#include "platform/NumberText.h"
#include "templatelib/DebugOut.h"

namespace {

// A single quote after this byte is an ordinary character of the constant.
constexpr unsigned char kQuoteEscape = 0xF4;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

void TrimSpan(const char** begin, const char** end) {
  while (*begin < *end && IsSpace(**begin)) ++*begin;
  while (*end > *begin && IsSpace((*end)[-1])) --*end;
}

bool EqualNoCase(const char* a, size_t aLength, const char* b, size_t bLength) {
  if (aLength != bLength) return false;
  for (size_t i = 0; i < aLength; ++i) {
    if (a[i] != b[i] && Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// Byte order after folding letters to lower case; a prefix is smaller.
int CompareLower(const char* a, size_t aLength, const char* b, size_t bLength) {
  size_t common = std::min(aLength, bLength);
  for (size_t i = 0; i < common; ++i) {
    unsigned char x = static_cast<unsigned char>(Lower(a[i]));
    unsigned char y = static_cast<unsigned char>(Lower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (aLength == bLength) return 0;
  return aLength < bLength ? -1 : 1;
}

// Greedy match with a return to the last "*": linear in practice, never
// recursive.
bool MatchSpan(const char* text, size_t length, const char* pattern) {
  size_t i = 0;
  const char* star = nullptr;
  size_t starText = 0;
  while (i < length) {
    if (*pattern == '?' ||
        (*pattern != '\0' && *pattern != '*' && Lower(*pattern) == Lower(text[i]))) {
      ++pattern;
      ++i;
    } else if (*pattern == '*') {
      star = pattern++;
      starText = i;
    } else if (star != nullptr) {
      pattern = star + 1;
      i = ++starText;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

// Field `index` of a '|'-joined text, in place; a missing field is empty.
void FieldSpan(const char* text, int32_t index, const char** begin, size_t* length) {
  const char* p = text;
  for (int32_t i = 0; i < index; ++i) {
    p = std::strchr(p, '|');
    if (p == nullptr) {
      *begin = "";
      *length = 0;
      return;
    }
    ++p;
  }
  *begin = p;
  *length = std::strcspn(p, "|");
}

bool IsComparison(int32_t op) {
  return op == kOpEqual || op == kOpLess || op == kOpGreater || op == kOpLessOrEqual ||
         op == kOpGreaterOrEqual || op == kOpNotEqual;
}

template <typename T>
bool Compare(T field, T constant, int32_t op) {
  switch (op) {
    case kOpEqual:
      return field == constant;
    case kOpLess:
      return field < constant;
    case kOpGreater:
      return field > constant;
    case kOpLessOrEqual:
      return field <= constant;
    case kOpGreaterOrEqual:
      return field >= constant;
    default:
      return field != constant;  // kOpNotEqual; callers check the rest
  }
}

// Drops the escape character before each escaped quote; the quote stays.
void UnescapeQuotes(std::string* token) {
  size_t out = 0;
  for (size_t in = 0; in < token->size(); ++in) {
    if (static_cast<unsigned char>((*token)[in]) == kQuoteEscape && in + 1 < token->size() &&
        (*token)[in + 1] == '\'') {
      continue;  // the quote that follows is kept
    }
    (*token)[out++] = (*token)[in];
  }
  token->resize(out);
}

// The comparison operator of a token (-1 when it has none), where it
// stands and how long it is.
int32_t FindOperator(const std::string& token, size_t* opPos, size_t* opLength) {
  *opLength = 0;
  *opPos = token.find_first_of("=<>!");
  if (*opPos == std::string::npos) return -1;
  const char next = *opPos + 1 < token.size() ? token[*opPos + 1] : '\0';
  switch (token[*opPos]) {
    case '=':
      *opLength = next == '=' ? 2 : 1;
      return kOpEqual;
    case '<':
      *opLength = next == '=' ? 2 : 1;
      return next == '=' ? kOpLessOrEqual : kOpLess;
    case '>':
      *opLength = next == '=' ? 2 : 1;
      return next == '=' ? kOpGreaterOrEqual : kOpGreater;
    default:  // '!': only "!=" is an operator
      if (next != '=') return -1;
      *opLength = 2;
      return kOpNotEqual;
  }
}

// A token without an operator: only the constants survive, a token
// beginning with "1" is always true, the words "0" and "False" always
// false. False for any other token.
bool SetConstantRecord(const char* text, const char* end, tSqlSubExpression* record) {
  const char* wordBegin = text;
  const char* wordEnd = end;
  TrimSpan(&wordBegin, &wordEnd);
  size_t wordLength = static_cast<size_t>(wordEnd - wordBegin);
  if (text[0] == '1') {
    record->op = kOpConstantTrue;
    record->column.Assign("1");
    record->constant.Assign("1");
  } else if (EqualNoCase(wordBegin, wordLength, "0", 1) ||
             EqualNoCase(wordBegin, wordLength, "false", 5)) {
    record->op = kOpConstantFalse;
    record->column.Assign("0");
    record->constant.Assign("0");
  } else {
    return false;
  }
  record->valueType = kValueString;
  return true;
}

}  // namespace

HRESULT tSqlEquationEngine::SetColumns(const char* columnNames, const char* columnTypes) {
  HRESULT hr = columnNames_.Assign(columnNames != nullptr ? columnNames : "");
  if (hr != S_OK) return hr;
  return columnTypes_.Assign(columnTypes != nullptr ? columnTypes : "");
}

int32_t tSqlEquationEngine::setEquation(const char* whereText) {
  loaded_ = false;
  cacheValid_ = false;
  count_ = 0;
  // The flag belongs to one clause; a pattern in the last clause must not
  // turn this one's equalities into pattern matches.
  wildcard_ = false;
  if (whereText == nullptr || whereText[0] == '\0') return 0;
  if (where_.Assign(whereText) != S_OK) return 0;
  where_.Trim();
  int32_t length = where_.Length();
  if (length == 0) return 0;
  // The skeleton never outgrows the text: every character of it stands for
  // at least one character of the clause.
  if (skeleton_.Reserve(length + 1) != S_OK) return 0;
  skeleton_.Buffer()[0] = '\0';
  if (!parseSubExpressions() || !compileSkeleton()) {
    count_ = 0;
    wildcard_ = false;
    return 0;
  }
  loaded_ = true;
  return 1;
}

bool tSqlEquationEngine::parseSubExpressions() {
  const char* where = where_.Text();
  const int32_t length = where_.Length();
  char* skeleton = skeleton_.Buffer();
  int32_t used = 0;
  int32_t pos = 0;
  for (;;) {
    while (pos < length && where[pos] == ' ') ++pos;
    if (pos >= length) break;
    char c = where[pos];
    if (c == '(' || c == ')') {
      skeleton[used++] = c;
      ++pos;
      continue;
    }
    if ((c == '&' || c == '|') && pos + 1 < length && where[pos + 1] == c) {
      skeleton[used++] = c;
      skeleton[used++] = c;
      pos += 2;
      continue;
    }
    // A token runs to a ")", "&" or "|" outside quotes. A lone "&" or "|"
    // therefore gives an empty token, which fails below.
    int32_t start = pos;
    bool inQuotes = false;
    bool escaped = false;
    for (; pos < length; ++pos) {
      char ch = where[pos];
      if (ch == '\'') {
        if (pos > 0 && static_cast<unsigned char>(where[pos - 1]) == kQuoteEscape) {
          escaped = true;
        } else {
          inQuotes = !inQuotes;
        }
      } else if (!inQuotes && (ch == ')' || ch == '&' || ch == '|')) {
        break;
      }
    }
    if (!parseToken(where + start, where + pos, escaped)) {
      skeleton[used] = '\0';
      return false;
    }
    records_[count_ - 1].slot = used;
    skeleton[used++] = '#';
  }
  skeleton[used] = '\0';
  return true;
}

bool tSqlEquationEngine::parseToken(const char* begin, const char* end, bool escaped) {
  token_.assign(begin, end);
  if (escaped) UnescapeQuotes(&token_);
  const char* text = token_.c_str();
  const char* tokenEnd = text + token_.size();

  // The column ends at the first blank or operator character, so that
  // "Rate>=10" names the column "Rate" as "Rate >= 10" does.
  const char* columnBegin = text;
  const char* columnEnd = text + std::min(token_.find_first_of("= <>!"), token_.size());
  TrimSpan(&columnBegin, &columnEnd);
  if (columnBegin == columnEnd) return false;

  size_t opPos;
  size_t opLength;
  const int32_t op = FindOperator(token_, &opPos, &opLength);

  if (count_ == static_cast<int32_t>(records_.size())) records_.emplace_back();
  tSqlSubExpression& record = records_[count_];
  record.columnIndex = 0;
  record.slot = 0;

  if (op < 0) {
    if (!SetConstantRecord(text, tokenEnd, &record)) return false;
    ++count_;
    return true;
  }

  const char* constantBegin = text + opPos + opLength;
  while (constantBegin < tokenEnd && (*constantBegin == ' ' || *constantBegin == '\'')) {
    ++constantBegin;
  }
  const char* constantEnd = tokenEnd;
  TrimSpan(&constantBegin, &constantEnd);
  if (constantEnd > constantBegin && constantEnd[-1] == '\'') --constantEnd;

  if (record.column.AssignN(columnBegin, static_cast<int32_t>(columnEnd - columnBegin)) != S_OK ||
      record.constant.AssignN(constantBegin, static_cast<int32_t>(constantEnd - constantBegin)) !=
          S_OK) {
    return false;
  }
  if (std::find_if(constantBegin, constantEnd, [](char c) { return c == '*' || c == '?'; }) !=
      constantEnd) {
    wildcard_ = true;
  }
  int32_t index = columnIndexOf(record.column.Text());
  if (index < 0) return false;
  record.op = op;
  record.columnIndex = index;
  record.valueType = valueTypeAt(index);
  ++count_;
  return true;
}

int32_t tSqlEquationEngine::columnIndexOf(const char* column) const {
  const char* names = columnNames_.Text();
  if (names == nullptr || column == nullptr) return -1;
  size_t columnLength = std::strlen(column);
  int32_t index = 0;
  for (const char* p = names;; ++index) {
    size_t length = std::strcspn(p, "|");
    if (EqualNoCase(p, length, column, columnLength)) return index;
    if (p[length] == '\0') return -1;
    p += length + 1;
  }
}

int32_t tSqlEquationEngine::valueTypeAt(int32_t index) const {
  const char* types = columnTypes_.Text();
  if (types == nullptr) return kValueString;
  const char* field;
  size_t length;
  FieldSpan(types, index, &field, &length);
  const char* end = field + length;
  while (field < end && IsSpace(*field)) ++field;
  if (field == end) return kValueString;
  switch (*field) {
    case 'i':
    case 'I':
      return kValueInt;
    case 'f':
    case 'F':
      return kValueFloat;
    case 'd':
    case 'D':
      return kValueUnsignedInt;
    default:
      return kValueString;  // "s", and Color, list(...) and the rest
  }
}

int32_t tSqlEquationEngine::evaluateEquation() {
  if (!loaded_) {
    DebugOut("tSqlEquationEngine::evaluateEquation - no where clause loaded\n");
    cacheValid_ = false;
    return 0;
  }
  if (!evaluateSubExpressions()) {
    // The cached pattern no longer belongs to the cached outcome.
    cacheValid_ = false;
    return 0;
  }
  if (andZeroSlot_ >= 0 && values_[andZeroSlot_] == 0) return 0;
  const size_t bytes = static_cast<size_t>(count_);
  if (cacheValid_ && std::memcmp(cacheKey_.data(), values_.data(), bytes) == 0) {
    return cacheOutcome_;
  }
  std::memcpy(cacheKey_.data(), values_.data(), bytes);
  cacheOutcome_ = reduce();
  cacheValid_ = true;
  ++reductions_;
  return cacheOutcome_;
}

bool tSqlEquationEngine::evaluateSubExpressions() {
  const char* row = row_ != nullptr ? row_ : "";
  char* skeleton = skeleton_.Buffer();
  for (int32_t i = 0; i < count_; ++i) {
    const tSqlSubExpression& record = records_[i];
    const Constant& constant = constants_[i];
    bool outcome = false;
    const char* field = "";
    size_t length = 0;
    if (record.op != kOpConstantTrue && record.op != kOpConstantFalse) {
      FieldSpan(row, record.columnIndex, &field, &length);
    }
    switch (record.valueType) {
      case kValueInt:
        if (!IsComparison(record.op)) {
          DebugOut(
              "********** tSqlEquationEngine::evaluateSubExpressions - Invalid operator (noOp) "
              "with "
              "type = Int...Need to break and investigate!\n");
          return false;
        }
        outcome = Compare(platform::ReadInt32(field), constant.intValue, record.op);
        break;
      case kValueUnsignedInt:
        if (!IsComparison(record.op)) {
          DebugOut(
              "********** tSqlEquationEngine::evaluateSubExpressions - Invalid operator (noOp) "
              "with "
              "type = UnsignedInt...Need to break and investigate!\n");
          return false;
        }
        outcome = Compare(platform::ReadUInt32(field), constant.unsignedValue, record.op);
        break;
      case kValueFloat:
        if (!IsComparison(record.op)) {
          DebugOut(
              "********** tSqlEquationEngine::evaluateSubExpressions - Invalid operator (noOp) "
              "with "
              "type = Float...Need to break and investigate!\n");
          return false;
        }
        outcome = Compare(platform::ReadDouble(field), constant.floatValue, record.op);
        break;
      default: {
        size_t constantLength = static_cast<size_t>(constant.length);
        switch (record.op) {
          case kOpConstantTrue:
            outcome = true;
            break;
          case kOpConstantFalse:
            outcome = false;
            break;
          case kOpEqual:
            outcome = wildcard_ ? MatchSpan(field, length, constant.text)
                                : EqualNoCase(field, length, constant.text, constantLength);
            break;
          case kOpNotEqual:
            outcome = !EqualNoCase(field, length, constant.text, constantLength);
            break;
          default:
            outcome =
                Compare(CompareLower(field, length, constant.text, constantLength), 0, record.op);
            break;
        }
        break;
      }
    }
    values_[i] = outcome ? 1 : 0;
    skeleton[record.slot] = outcome ? '1' : '0';
  }
  return true;
}

bool tSqlEquationEngine::wildcardMatch(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return false;
  return MatchSpan(text, std::strlen(text), pattern);
}
