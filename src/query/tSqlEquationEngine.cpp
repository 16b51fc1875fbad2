// tSqlEquationEngine: loading, checking and evaluating where clauses.
//
// How the outcome is defined, and why evaluation does not follow that
// definition step by step. A clause's outcome is that of a rewrite of its
// skeleton, pass by pass: every run of digits and operators that reaches a
// ")" or the end is reduced to one digit (left to right, "&&" and "||" of
// equal precedence), runs that stop at a "(" are left for later, and then
// every "(d)" becomes d. Done literally that is a pass per nesting level and
// a copy of the skeleton per pass: quadratic, and a hostile clause of
// 100,000 parentheses would take minutes.
//
// The rewrite has a fixed shape, though. Within one parenthesis level, the
// run after the last group that is still open is reduced early, in the
// first pass that sees it. So a group that stays open longer than every
// group to its right on its level (a "record" group) finds the rest of its
// level already reduced to one digit: for the outcome it is as if that rest
// stood in parentheses. compileSkeleton works out, for every group, the pass
// in which it collapses to a digit, marks the record groups, and stores the
// skeleton with those extra parentheses as a token program. Evaluating a row
// is then one left-to-right pass over the program with an explicit stack of
// (running value, pending operator) per parenthesis: linear, no recursion.
// The tests check this against a literal implementation of the rewrite.

#include "query/tSqlEquationEngine.h"

#include <algorithm>
#include <cstring>

#include "query/NumberText.h"
#include "templatelib/DebugOut.h"

namespace {

// Program tokens; slots are their record index (>= 0).
constexpr int32_t kTokOpen = -1;
constexpr int32_t kTokClose = -2;
constexpr int32_t kTokAnd = -3;
constexpr int32_t kTokOr = -4;

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
    if (*pattern == '?' || (*pattern != '\0' && *pattern != '*' &&
                            Lower(*pattern) == Lower(text[i]))) {
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
    case kOpEqual: return field == constant;
    case kOpLess: return field < constant;
    case kOpGreater: return field > constant;
    case kOpLessOrEqual: return field <= constant;
    case kOpGreaterOrEqual: return field >= constant;
    default: return field != constant;  // kOpNotEqual; callers check the rest
  }
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
  if (escaped) {
    size_t out = 0;
    for (size_t in = 0; in < token_.size(); ++in) {
      if (static_cast<unsigned char>(token_[in]) == kQuoteEscape && in + 1 < token_.size() &&
          token_[in + 1] == '\'') {
        continue;  // the quote that follows is kept
      }
      token_[out++] = token_[in];
    }
    token_.resize(out);
  }
  const char* text = token_.c_str();
  const char* tokenEnd = text + token_.size();

  // The column ends at the first blank or operator character, so that
  // "Rate>=10" names the column "Rate" as "Rate >= 10" does.
  const char* columnBegin = text;
  const char* columnEnd = text + std::min(token_.find_first_of("= <>!"), token_.size());
  TrimSpan(&columnBegin, &columnEnd);
  if (columnBegin == columnEnd) return false;

  int32_t op = -1;
  size_t opLength = 0;
  size_t opPos = token_.find_first_of("=<>!");
  if (opPos != std::string::npos) {
    char next = opPos + 1 < token_.size() ? token_[opPos + 1] : '\0';
    switch (token_[opPos]) {
      case '=': op = kOpEqual; opLength = next == '=' ? 2 : 1; break;
      case '<': op = next == '=' ? kOpLessOrEqual : kOpLess; opLength = next == '=' ? 2 : 1; break;
      case '>':
        op = next == '=' ? kOpGreaterOrEqual : kOpGreater;
        opLength = next == '=' ? 2 : 1;
        break;
      default:  // '!': only "!=" is an operator
        if (next == '=') {
          op = kOpNotEqual;
          opLength = 2;
        }
        break;
    }
  }

  if (count_ == static_cast<int32_t>(records_.size())) records_.emplace_back();
  tSqlSubExpression& record = records_[count_];
  record.columnIndex = 0;
  record.slot = 0;

  if (op < 0) {
    // Without an operator only the constants survive: a token beginning
    // with "1" is always true, the words "0" and "False" always false.
    const char* wordBegin = text;
    const char* wordEnd = tokenEnd;
    TrimSpan(&wordBegin, &wordEnd);
    size_t wordLength = static_cast<size_t>(wordEnd - wordBegin);
    if (text[0] == '1') {
      record.op = kOpConstantTrue;
      record.column.Assign("1");
      record.constant.Assign("1");
    } else if (EqualNoCase(wordBegin, wordLength, "0", 1) ||
               EqualNoCase(wordBegin, wordLength, "false", 5)) {
      record.op = kOpConstantFalse;
      record.column.Assign("0");
      record.constant.Assign("0");
    } else {
      return false;
    }
    record.valueType = kValueString;
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
    case 'i': case 'I': return kValueInt;
    case 'f': case 'F': return kValueFloat;
    case 'd': case 'D': return kValueUnsignedInt;
    default: return kValueString;  // "s", and Color, list(...) and the rest
  }
}

bool tSqlEquationEngine::compileSkeleton() {
  // Tokens, with the shape checked on the way: an operand ("#" or a group)
  // must stand at the start, after "(" and after every operator; an
  // operator or ")" must follow an operand; the depth never goes negative
  // and ends at zero.
  std::vector<int32_t> tokens;
  tokens.reserve(static_cast<size_t>(skeleton_.Length()));
  int32_t slots = 0;
  bool expectOperand = true;
  int32_t depth = 0;
  for (const char* p = skeleton_.Text(); *p != '\0'; ++p) {
    switch (*p) {
      case '(':
        if (!expectOperand) return false;
        ++depth;
        tokens.push_back(kTokOpen);
        break;
      case ')':
        if (expectOperand || depth == 0) return false;
        --depth;
        tokens.push_back(kTokClose);
        break;
      case '&':
      case '|':
        if (expectOperand) return false;
        tokens.push_back(*p == '&' ? kTokAnd : kTokOr);
        ++p;  // operators are doubled
        expectOperand = true;
        break;
      default:  // '#'
        if (!expectOperand) return false;
        tokens.push_back(slots++);
        expectOperand = false;
        break;
    }
  }
  if (expectOperand || depth != 0 || slots != count_) return false;
  const size_t n = tokens.size();

  // The pass after which each group has become a digit: 0 when it holds a
  // single slot (removed before the first pass), the inner group's pass
  // when it holds just one group, else one more than its slowest group.
  std::vector<int32_t> collapse(n, 0);
  struct Level {
    int32_t items;
    int32_t slowest;
    int32_t single;
    bool singleIsSlot;
    size_t open;
  };
  std::vector<Level> levels{{0, 0, 0, true, 0}};
  for (size_t i = 0; i < n; ++i) {
    int32_t t = tokens[i];
    if (t == kTokOpen) {
      levels.push_back({0, 0, 0, true, i});
    } else if (t == kTokClose) {
      Level group = levels.back();
      levels.pop_back();
      int32_t pass = group.items == 1 ? (group.singleIsSlot ? 0 : group.single) : group.slowest + 1;
      collapse[i] = collapse[group.open] = pass;
      Level& parent = levels.back();
      if (++parent.items == 1) {
        parent.singleIsSlot = false;
        parent.single = pass;
      }
      parent.slowest = std::max(parent.slowest, pass);
    } else if (t >= 0) {
      if (++levels.back().items == 1) levels.back().singleIsSlot = true;
    }
  }

  // Record groups, right to left per level: slower than every group to
  // their right. What follows such a group on its level is bracketed.
  std::vector<uint8_t> bracketAfter(n, 0);
  std::vector<int32_t> slowestRight{0};
  for (size_t i = n; i-- > 0;) {
    if (tokens[i] == kTokClose) {
      int32_t& right = slowestRight.back();
      if (collapse[i] > right) {
        right = collapse[i];
        if (i + 1 < n && (tokens[i + 1] == kTokAnd || tokens[i + 1] == kTokOr)) bracketAfter[i] = 1;
      }
      slowestRight.push_back(0);
    } else if (tokens[i] == kTokOpen) {
      slowestRight.pop_back();
    }
  }

  // The program: the tokens with the extra parentheses, each closed at the
  // end of its level.
  program_.clear();
  program_.reserve(n);
  std::vector<int32_t> extra{0};
  bool openNext = false;
  for (size_t i = 0; i < n; ++i) {
    int32_t t = tokens[i];
    if (t == kTokOpen) {
      program_.push_back(t);
      extra.push_back(0);
    } else if (t == kTokClose) {
      program_.insert(program_.end(), static_cast<size_t>(extra.back()), kTokClose);
      extra.pop_back();
      program_.push_back(t);
      openNext = bracketAfter[i] != 0;
    } else {
      program_.push_back(t);
      if (openNext && t < 0) {
        program_.push_back(kTokOpen);
        ++extra.back();
        openNext = false;
      }
    }
  }
  program_.insert(program_.end(), static_cast<size_t>(extra.back()), kTokClose);

  maxDepth_ = 0;
  for (int32_t t = 0, d = 0; t < static_cast<int32_t>(program_.size()); ++t) {
    if (program_[t] == kTokOpen) maxDepth_ = std::max(maxDepth_, ++d);
    if (program_[t] == kTokClose) --d;
  }
  stack_.assign(static_cast<size_t>(maxDepth_) + 1, Frame{0, 0, false});
  singleSlot_ = slots == 1 ? 0 : -1;

  // "x&&y" once the parentheses around single slots are gone: the clause
  // is false whenever y is, without the cache.
  andZeroSlot_ = -1;
  std::vector<int32_t> bare;
  for (size_t i = 0; i < n && bare.size() <= 3; ++i) {
    bool dropped = (tokens[i] == kTokOpen || tokens[i] == kTokClose) && collapse[i] == 0;
    if (!dropped) bare.push_back(tokens[i]);
  }
  if (bare.size() == 3 && bare[0] >= 0 && bare[1] == kTokAnd && bare[2] >= 0) andZeroSlot_ = bare[2];

  constants_.resize(static_cast<size_t>(count_));
  for (int32_t i = 0; i < count_; ++i) {
    const tSqlSubExpression& record = records_[i];
    Constant& constant = constants_[i];
    constant.text = record.constant.Text() != nullptr ? record.constant.Text() : "";
    constant.length = static_cast<int32_t>(std::strlen(constant.text));
    constant.intValue = query::ReadInt32(constant.text);
    constant.unsignedValue = query::ReadUInt32(constant.text);
    constant.floatValue = query::ReadDouble(constant.text);
  }
  values_.assign(static_cast<size_t>(count_), 0);
  cacheKey_.assign(static_cast<size_t>(count_), 0);
  return true;
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
              "********** tSqlEquationEngine::evaluateSubExpressions - Invalid operator (noOp) with "
              "type = Int...Need to break and investigate!\n");
          return false;
        }
        outcome = Compare(query::ReadInt32(field), constant.intValue, record.op);
        break;
      case kValueUnsignedInt:
        if (!IsComparison(record.op)) {
          DebugOut(
              "********** tSqlEquationEngine::evaluateSubExpressions - Invalid operator (noOp) with "
              "type = UnsignedInt...Need to break and investigate!\n");
          return false;
        }
        outcome = Compare(query::ReadUInt32(field), constant.unsignedValue, record.op);
        break;
      case kValueFloat:
        if (!IsComparison(record.op)) {
          DebugOut(
              "********** tSqlEquationEngine::evaluateSubExpressions - Invalid operator (noOp) with "
              "type = Float...Need to break and investigate!\n");
          return false;
        }
        outcome = Compare(query::ReadDouble(field), constant.floatValue, record.op);
        break;
      default: {
        size_t constantLength = static_cast<size_t>(constant.length);
        switch (record.op) {
          case kOpConstantTrue: outcome = true; break;
          case kOpConstantFalse: outcome = false; break;
          case kOpEqual:
            outcome = wildcard_ ? MatchSpan(field, length, constant.text)
                                : EqualNoCase(field, length, constant.text, constantLength);
            break;
          case kOpNotEqual:
            outcome = !EqualNoCase(field, length, constant.text, constantLength);
            break;
          default:
            outcome = Compare(CompareLower(field, length, constant.text, constantLength), 0,
                              record.op);
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

int32_t tSqlEquationEngine::reduce() const {
  if (singleSlot_ >= 0) return values_[singleSlot_];
  int32_t depth = 0;
  int32_t value = 0;
  int32_t op = kTokAnd;
  bool hasValue = false;
  for (int32_t token : program_) {
    int32_t operand;
    if (token >= 0) {
      operand = values_[token];
    } else if (token == kTokOpen) {
      stack_[depth++] = Frame{value, op, hasValue};
      hasValue = false;
      continue;
    } else if (token == kTokClose) {
      operand = value;
      const Frame& outer = stack_[--depth];
      value = outer.value;
      op = outer.op;
      hasValue = outer.hasValue;
    } else {
      op = token;
      continue;
    }
    if (!hasValue) {
      value = operand;
      hasValue = true;
    } else {
      value = op == kTokAnd ? (value & operand) : (value | operand);
    }
  }
  return value;
}

bool tSqlEquationEngine::wildcardMatch(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return false;
  return MatchSpan(text, std::strlen(text), pattern);
}
