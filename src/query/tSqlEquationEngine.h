// tSqlEquationEngine: decides whether one row satisfies a where clause.
//
// A where clause is a flat list of comparisons, each between one column and
// one constant ("Name = 'x'", "Rate >= 10"), joined by "&&" and "||" and
// grouped by parentheses. "&&" and "||" have equal precedence and combine
// left to right: 1||0&&0 is 0, 1||(0&&0) is 1.
//
// The owner sets the column names and types ('|'-joined, as a table's
// TableDefinition and TableType hold them), loads the clause once per
// statement with setEquation, and then, per candidate row, points the engine
// at the row's text and asks evaluateEquation for the outcome.
//
// Parsing turns the clause into an expression skeleton of "(", ")", "&&",
// "||" and one slot character per comparison ("#"), plus one
// tSqlSubExpression record per comparison. Evaluating writes "1" or "0" into
// each slot and reduces the skeleton. The reduced slot pattern of the last
// row is cached with its outcome, so rows that give the same pattern skip
// the reduction.
//
// Value types follow the column's type name: a first letter s/S String, i/I
// Int (signed 32-bit), f/F Float (double), d/D UnsignedInt; anything else,
// or no type, String. String equality ignores case; once any constant of the
// clause holds "*" or "?", every String equality of that clause is a
// wildcard match.
//
// Hostile clauses: the skeleton is checked when it is loaded (balanced
// parentheses, an operand between every two operators), so evaluation never
// meets a malformed skeleton, and evaluation runs in time linear in the
// skeleton with no recursion, whatever the nesting.
//
// Thread safety: one thread at a time; the engine belongs to its query
// engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "templatelib/tString.h"

// Value types of a comparison.
enum : int32_t {
  kValueInt = 0,
  kValueUnsignedInt = 1,
  kValueFloat = 2,
  kValueString = 6,
};

// Comparison operators.
enum : int32_t {
  kOpEqual = 0,
  kOpConstantTrue = 3,
  kOpLess = 4,
  kOpGreater = 5,
  kOpLessOrEqual = 6,
  kOpGreaterOrEqual = 7,
  kOpNotEqual = 8,
  kOpConstantFalse = 9,  // the operand "0" or "False": false wherever it stands
};

// One comparison of a where clause.
struct tSqlSubExpression {
  tString column;    // as written before the operator, stripped
  tString constant;  // the text after the operator, without its quotes
  int32_t valueType = kValueString;
  int32_t op = kOpConstantTrue;
  int32_t columnIndex = 0;  // position in the column names, from 0
  int32_t slot = 0;         // offset of this comparison's slot in the skeleton
};

class tSqlEquationEngine {
 public:
  tSqlEquationEngine() = default;
  tSqlEquationEngine(const tSqlEquationEngine&) = delete;
  tSqlEquationEngine& operator=(const tSqlEquationEngine&) = delete;

  // The columns the next setEquation resolves names against. S_OK or
  // E_OUTOFMEMORY.
  HRESULT SetColumns(const char* columnNames, const char* columnTypes);

  // Loads a where clause: 1 on success, 0 on failure (empty or missing text,
  // an empty column before an operator, a column the names do not hold, a
  // lone "&" or "|", unbalanced parentheses, an operator without operands
  // on both sides, an operand without operator other than one beginning
  // with "1" (always true) or the words "0" and "False" (always false)).
  // Empties the last-outcome cache.
  int32_t setEquation(const char* whereText);

  // The row the next evaluateEquation tests: its '|'-joined fields. Not
  // owned; must stay valid until the evaluation is done.
  void SetRow(const char* rowText) { row_ = rowText; }

  // 1 when the current row satisfies the loaded clause, else 0. Errors
  // (no clause loaded, an operator a numeric type cannot apply) give 0 and
  // are reported on the debug output; nothing escapes.
  int32_t evaluateEquation();

  // "*" matches any run of characters (also none), "?" any one character,
  // every other character itself without regard to case; the whole text
  // must match. A null text or pattern never matches.
  static bool wildcardMatch(const char* text, const char* pattern);

  // ---- what the query engine's key shortcut reads -------------------------
  bool WildcardFlag() const { return wildcard_; }
  int32_t SubExpressionCount() const { return count_; }
  const tSqlSubExpression& SubExpression(int32_t i) const { return records_[i]; }
  // The skeleton: "#" slots after setEquation, "0"/"1" after an evaluation.
  const char* Skeleton() const { return skeleton_.Text(); }
  const char* WhereText() const { return where_.Text(); }
  // How many evaluations ran the reduction (the cache and the "&&0"
  // shortcut skip it); for tests and benchmarks.
  int64_t ReductionCount() const { return reductions_; }

 private:
  // A comparison's constant, read once when the clause is loaded.
  struct Constant {
    const char* text = nullptr;  // the record's constant
    int32_t length = 0;
    int32_t intValue = 0;
    uint32_t unsignedValue = 0;
    double floatValue = 0.0;
  };
  // One open parenthesis of the evaluation stack.
  struct Frame {
    int32_t value;
    int32_t op;
    bool hasValue;
  };

  bool parseSubExpressions();
  bool parseToken(const char* begin, const char* end, bool escaped);
  bool compileSkeleton();
  bool evaluateSubExpressions();
  int32_t reduce() const;
  int32_t columnIndexOf(const char* column) const;
  int32_t valueTypeAt(int32_t index) const;

  tString columnNames_;
  tString columnTypes_;
  const char* row_ = nullptr;
  tString where_;
  tString skeleton_;
  bool wildcard_ = false;
  int32_t count_ = 0;
  std::vector<tSqlSubExpression> records_;  // reused from one clause to the next

  bool loaded_ = false;
  std::string token_;                // the token being parsed
  std::vector<Constant> constants_;  // one per record
  std::vector<int32_t> program_;     // the skeleton as evaluated (see .cpp)
  int32_t maxDepth_ = 0;
  int32_t singleSlot_ = -1;           // the whole clause is this one slot
  int32_t andZeroSlot_ = -1;          // clause "x&&y": this is y's slot
  std::vector<uint8_t> values_;       // slot outcomes of the current row
  mutable std::vector<Frame> stack_;  // sized to maxDepth_ when loading
  std::vector<uint8_t> cacheKey_;     // slot outcomes of the cached row
  bool cacheValid_ = false;
  int32_t cacheOutcome_ = 0;
  int64_t reductions_ = 0;
};
