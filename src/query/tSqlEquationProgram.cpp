// tSqlEquationEngine: checking a loaded skeleton and turning it into the
// token program that evaluation runs.
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

#include "query/tSqlEquationProgram.h"

#include <algorithm>
#include <cstring>

#include "platform/NumberText.h"
#include "query/tSqlEquationEngine.h"

namespace {

using Tokens = std::vector<int32_t>;

// The skeleton's tokens, with the shape checked on the way: an operand
// ("#" or a group) must stand at the start, after "(" and after every
// operator; an operator or ")" must follow an operand; the depth never goes
// negative and ends at zero; there is one slot per record. False when the
// shape is wrong.
bool TokeniseSkeleton(const char* skeleton, int32_t records, Tokens* tokens) {
  int32_t slots = 0;
  bool expectOperand = true;
  int32_t depth = 0;
  for (const char* p = skeleton; *p != '\0'; ++p) {
    switch (*p) {
      case '(':
        if (!expectOperand) return false;
        ++depth;
        tokens->push_back(query::kTokOpen);
        break;
      case ')':
        if (expectOperand || depth == 0) return false;
        --depth;
        tokens->push_back(query::kTokClose);
        break;
      case '&':
      case '|':
        if (expectOperand) return false;
        tokens->push_back(*p == '&' ? query::kTokAnd : query::kTokOr);
        ++p;  // operators are doubled
        expectOperand = true;
        break;
      default:  // '#'
        if (!expectOperand) return false;
        tokens->push_back(slots++);
        expectOperand = false;
        break;
    }
  }
  return !expectOperand && depth == 0 && slots == records;
}

// The pass after which each group has become a digit, at its "(" and ")":
// 0 when it holds a single slot (removed before the first pass), the inner
// group's pass when it holds just one group, else one more than its slowest
// group.
Tokens CollapsePasses(const Tokens& tokens) {
  const size_t n = tokens.size();
  Tokens collapse(n, 0);
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
    if (t == query::kTokOpen) {
      levels.push_back({0, 0, 0, true, i});
    } else if (t == query::kTokClose) {
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
  return collapse;
}

// Record groups, right to left per level: slower than every group to their
// right. What follows such a group on its level is bracketed; marked at
// the group's ")".
std::vector<uint8_t> BracketsAfterRecordGroups(const Tokens& tokens, const Tokens& collapse) {
  const size_t n = tokens.size();
  std::vector<uint8_t> bracketAfter(n, 0);
  Tokens slowestRight{0};
  for (size_t i = n; i-- > 0;) {
    if (tokens[i] == query::kTokClose) {
      int32_t& right = slowestRight.back();
      if (collapse[i] > right) {
        right = collapse[i];
        if (i + 1 < n && (tokens[i + 1] == query::kTokAnd || tokens[i + 1] == query::kTokOr))
          bracketAfter[i] = 1;
      }
      slowestRight.push_back(0);
    } else if (tokens[i] == query::kTokOpen) {
      slowestRight.pop_back();
    }
  }
  return bracketAfter;
}

// The program: the tokens with the extra parentheses, each closed at the
// end of its level.
void BuildProgram(const Tokens& tokens, const std::vector<uint8_t>& bracketAfter, Tokens* program) {
  const size_t n = tokens.size();
  program->clear();
  program->reserve(n);
  Tokens extra{0};
  bool openNext = false;
  for (size_t i = 0; i < n; ++i) {
    int32_t t = tokens[i];
    if (t == query::kTokOpen) {
      program->push_back(t);
      extra.push_back(0);
    } else if (t == query::kTokClose) {
      program->insert(program->end(), static_cast<size_t>(extra.back()), query::kTokClose);
      extra.pop_back();
      program->push_back(t);
      openNext = bracketAfter[i] != 0;
    } else {
      program->push_back(t);
      if (openNext && t < 0) {
        program->push_back(query::kTokOpen);
        ++extra.back();
        openNext = false;
      }
    }
  }
  program->insert(program->end(), static_cast<size_t>(extra.back()), query::kTokClose);
}

int32_t MaxDepth(const Tokens& program) {
  int32_t deepest = 0;
  for (int32_t t = 0, d = 0; t < static_cast<int32_t>(program.size()); ++t) {
    if (program[t] == query::kTokOpen) deepest = std::max(deepest, ++d);
    if (program[t] == query::kTokClose) --d;
  }
  return deepest;
}

// "x&&y" once the parentheses around single slots are gone: y's slot, which
// makes the clause false whenever it is, without the cache; else -1.
int32_t AndZeroSlot(const Tokens& tokens, const Tokens& collapse) {
  Tokens bare;
  for (size_t i = 0; i < tokens.size() && bare.size() <= 3; ++i) {
    bool dropped =
        (tokens[i] == query::kTokOpen || tokens[i] == query::kTokClose) && collapse[i] == 0;
    if (!dropped) bare.push_back(tokens[i]);
  }
  if (bare.size() == 3 && bare[0] >= 0 && bare[1] == query::kTokAnd && bare[2] >= 0) return bare[2];
  return -1;
}

}  // namespace

bool tSqlEquationEngine::compileSkeleton() {
  std::vector<int32_t> tokens;
  tokens.reserve(static_cast<size_t>(skeleton_.Length()));
  if (!TokeniseSkeleton(skeleton_.Text(), count_, &tokens)) return false;
  const std::vector<int32_t> collapse = CollapsePasses(tokens);
  BuildProgram(tokens, BracketsAfterRecordGroups(tokens, collapse), &program_);
  maxDepth_ = MaxDepth(program_);
  stack_.assign(static_cast<size_t>(maxDepth_) + 1, Frame{0, 0, false});
  singleSlot_ = count_ == 1 ? 0 : -1;
  andZeroSlot_ = AndZeroSlot(tokens, collapse);

  constants_.resize(static_cast<size_t>(count_));
  for (int32_t i = 0; i < count_; ++i) {
    const tSqlSubExpression& record = records_[i];
    Constant& constant = constants_[i];
    constant.text = record.constant.Text() != nullptr ? record.constant.Text() : "";
    constant.length = static_cast<int32_t>(std::strlen(constant.text));
    constant.intValue = platform::ReadInt32(constant.text);
    constant.unsignedValue = platform::ReadUInt32(constant.text);
    constant.floatValue = platform::ReadDouble(constant.text);
  }
  values_.assign(static_cast<size_t>(count_), 0);
  cacheKey_.assign(static_cast<size_t>(count_), 0);
  return true;
}

int32_t tSqlEquationEngine::reduce() const {
  if (singleSlot_ >= 0) return values_[singleSlot_];
  int32_t depth = 0;
  int32_t value = 0;
  int32_t op = query::kTokAnd;
  bool hasValue = false;
  for (int32_t token : program_) {
    int32_t operand;
    if (token >= 0) {
      operand = values_[token];
    } else if (token == query::kTokOpen) {
      stack_[depth++] = Frame{value, op, hasValue};
      hasValue = false;
      continue;
    } else if (token == query::kTokClose) {
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
      value = op == query::kTokAnd ? (value & operand) : (value | operand);
    }
  }
  return value;
}
