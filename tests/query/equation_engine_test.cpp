#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "query/tSqlEquationEngine.h"
#include "support/DebugCapture.h"

namespace {

// ---- the reference: the pass-by-pass rewrite, literally and slowly ----------

bool IsDigit(char c) { return c == '0' || c == '1'; }

std::string RemoveRedundantParentheses(std::string text) {
  for (size_t i = 0; i + 2 < text.size();) {
    if (text[i] == '(' && IsDigit(text[i + 1]) && text[i + 2] == ')') {
      text.replace(i, 3, 1, text[i + 1]);
      i = 0;
    } else {
      ++i;
    }
  }
  return text;
}

int ReduceFlat(const std::string& run) {  // "d op d op d", left to right
  int value = run[0] - '0';
  for (size_t i = 1; i < run.size(); i += 3) {
    std::string op = run.substr(i, 2);
    if ((op != "&&" && op != "||") || i + 2 >= run.size() || !IsDigit(run[i + 2])) return -1;
    value = op == "&&" ? (value & (run[i + 2] - '0')) : (value | (run[i + 2] - '0'));
  }
  return value;
}

// 0 or 1, or -1 for an error of the rewrite.
int Reduce(std::string text) {
  text = RemoveRedundantParentheses(text);
  for (size_t previous = SIZE_MAX; text.size() > 1;) {
    if (text.size() >= previous) return -1;
    previous = text.size();
    std::string out;
    for (size_t i = 0; i < text.size();) {
      if (!IsDigit(text[i])) {
        out += text[i++];
        continue;
      }
      size_t end = std::min(text.find_first_of("()", i), text.size());
      std::string run = text.substr(i, end - i);
      int value = IsDigit(run.back()) ? ReduceFlat(run) : 2;
      if (value < 0) return -1;
      out += value == 2 ? run : std::string(1, static_cast<char>('0' + value));
      i = end;
    }
    text = RemoveRedundantParentheses(out);
  }
  return text == "1" ? 1 : text == "0" ? 0 : -1;
}

bool Wildcard(const std::string& text, const std::string& pattern) {
  if (pattern.empty()) return text.empty();
  if (pattern[0] == '*') {
    for (size_t skip = 0; skip <= text.size(); ++skip) {
      if (Wildcard(text.substr(skip), pattern.substr(1))) return true;
    }
    return false;
  }
  return !text.empty() &&
         (pattern[0] == '?' || std::tolower(pattern[0]) == std::tolower(text[0])) &&
         Wildcard(text.substr(1), pattern.substr(1));
}

template <typename T>
bool Apply(T a, T b, const std::string& op) {
  return op == "="    ? a == b
         : op == "<"  ? a < b
         : op == ">"  ? a > b
         : op == "<=" ? a <= b
         : op == ">=" ? a >= b
                      : a != b;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Type 0 Int, 1 UnsignedInt, 2 Float, else String.
bool CompareField(const std::string& field, const std::string& op, const std::string& constant,
                  int type, bool wildcard) {
  auto asInt = [](const std::string& s) {
    return static_cast<int32_t>(
        std::clamp<long long>(std::strtoll(s.c_str(), nullptr, 10), INT32_MIN, INT32_MAX));
  };
  auto asUnsigned = [](const std::string& s) {
    return static_cast<uint32_t>(std::strtoull(s.c_str(), nullptr, 10));
  };
  if (type == 0) return Apply(asInt(field), asInt(constant), op);
  if (type == 1) return Apply(asUnsigned(field), asUnsigned(constant), op);
  if (type == 2)
    return Apply(std::strtod(field.c_str(), nullptr), std::strtod(constant.c_str(), nullptr), op);
  if (op == "=" && wildcard) return Wildcard(field, constant);
  return Apply(Lower(field).compare(Lower(constant)), 0, op);
}

// A random skeleton: slots '#', groups (some redundant), "&&" and "||".
std::string RandomSkeleton(std::mt19937& random, int depth) {
  std::string out;
  for (int i = 0, items = 1 + static_cast<int>(random() % 4); i < items; ++i) {
    if (i > 0) out += (random() % 2) ? "&&" : "||";
    unsigned pick = random() % 10;
    out += depth > 0 && pick < 4 ? "(" + RandomSkeleton(random, depth - 1) + ")"
           : pick == 4           ? "((#))"
           : pick == 5           ? "(#)"
                                 : "#";
  }
  return out;
}

// ---- the engine --------------------------------------------------------------

class EquationEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(engine.SetColumns("Parameter|Rate|Count|Value|Color", "String|Int|DWord|Float|Color"),
              S_OK);
  }
  int32_t Evaluate(const char* row) {
    engine.SetRow(row);
    return engine.evaluateEquation();
  }
  tSqlEquationEngine engine;
};

TEST_F(EquationEngineTest, ComparisonsByTypeAndOperator) {
  struct Case {
    const char* where;
    const char* row;
    int32_t expected;
  } const cases[] = {
      {"Parameter = 'A*'", "abc", 1},
      {"Parameter = 'A*'", "A", 1},
      {"Parameter = 'A*'", "bA", 0},
      {"Parameter = 'a?c'", "ABC", 1},
      {"Parameter = 'a?c'", "abcd", 0},
      {"Parameter = 'abc'", "ABC", 1},
      {"Parameter != 'ABC'", "abc", 0},
      {"Rate < 10", "x|9", 1},
      {"Parameter < 10", "9", 0},
      {"Parameter > 10", "9", 1},
      {"Rate = 0", "x|abc", 1},                   // no digits read as 0
      {"Rate >= -3", "x|  -3tail", 1},            // white space, sign, stop at a letter
      {"Rate > 2147483646", "x|99999999999", 1},  // saturated, not wrapped
      {"Count > 5", "x|0|-1", 1},
      {"Rate > 5", "x|-1", 0},  // 0xFFFFFFFF unsigned
      {"Value >= 0.5", "x|0|0|0.75", 1},
      {"Value = 1e3", "x|0|0|1000", 1},
      {"Value = 0", "x", 1},                // a missing field is empty
      {"Color = 'red'", "x|0|0|0|RED", 1},  // Color compares as String
      {"Rate>=10", "x|10", 1},              // operators need no blanks
      {"Parameter == 'a'", "A", 1},
      {"Parameter = ''", "|1", 1},
      {"Parameter = 'O\xF4'Brien'", "O'Brien", 1},  // the escaped quote
      {"Parameter = 'a)b' && Rate = 1", "a)b|1", 1},
      {"1", "x", 1},
      {"10", "x", 1},
      {"0", "x", 0},
      {"False", "x", 0},
      {"fALSE || Rate = 1", "x|1", 1},
      {"1||0&&0", "x", 0},
      {"1||(0&&0)", "x", 1},
      // The run after the last group is reduced before the group is.
      {"(1 && 1) || 0 && 0", "x", 1},
      {"((1 && 1) && 1) || 0 && (0) && 0", "x", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    ASSERT_EQ(engine.setEquation(c.where), 1);
    EXPECT_EQ(Evaluate(c.row), c.expected);
  }
  EXPECT_FALSE(tSqlEquationEngine::wildcardMatch(nullptr, "*"));
  EXPECT_FALSE(tSqlEquationEngine::wildcardMatch("a", nullptr));
}

TEST_F(EquationEngineTest, RecordsAndSkeleton) {
  ASSERT_EQ(engine.setEquation("  (Parameter = 'Parm5') && (Rate >= 7) || Color != x  "), 1);
  EXPECT_STREQ(engine.Skeleton(), "(#)&&(#)||#");
  ASSERT_EQ(engine.SubExpressionCount(), 3);
  const tSqlSubExpression& first = engine.SubExpression(0);
  EXPECT_STREQ(first.column.Text(), "Parameter");
  EXPECT_STREQ(first.constant.Text(), "Parm5");
  EXPECT_EQ(first.slot, 1);
  EXPECT_EQ(engine.SubExpression(1).op, kOpGreaterOrEqual);
  EXPECT_EQ(engine.SubExpression(1).valueType, kValueInt);
  EXPECT_EQ(engine.SubExpression(1).columnIndex, 1);
  EXPECT_EQ(Evaluate("parm5|3|0|0|x"), 0);
  EXPECT_STREQ(engine.Skeleton(), "(1)&&(0)||0");
  // The wildcard flag belongs to one clause, not to the engine.
  ASSERT_EQ(engine.setEquation("Parameter = 'a*'"), 1);
  EXPECT_TRUE(engine.WildcardFlag());
  ASSERT_EQ(engine.setEquation("Parameter = 'a'"), 1);
  EXPECT_FALSE(engine.WildcardFlag());
}

TEST_F(EquationEngineTest, RefusesMalformedClauses) {
  for (const char* where : {"",
                            "   ",
                            "Nope = 1",
                            "(Parameter = 'a'",
                            "Parameter = 'a')",
                            "()",
                            ")Rate = 1(",
                            "Parameter = 'a' & Rate = 1",
                            "Parameter = 'a' | Rate = 1",
                            "&& Rate = 1",
                            "Rate = 1 ||",
                            "Rate = 1 && && Rate = 2",
                            "Rate = 1 &&&& Rate = 2",
                            "Parameter",
                            "Rate ! 5",
                            "= 5",
                            "(Rate = 1)(Rate = 2)",
                            "Rate = 1 (Rate = 2)",
                            "00",
                            "Falsehood"}) {
    SCOPED_TRACE(where);
    EXPECT_EQ(engine.setEquation(where), 0);
    EXPECT_EQ(engine.SubExpressionCount(), 0);
  }
  EXPECT_EQ(engine.setEquation(nullptr), 0);
  testsupport::DebugCapture capture;  // nothing is loaded: no row matches
  EXPECT_EQ(Evaluate("a|1"), 0);
  EXPECT_EQ(capture.messages().size(), 1u);
}

TEST_F(EquationEngineTest, CacheAndAndZeroShortcutKeepOutcomes) {
  ASSERT_EQ(engine.setEquation("Parameter = 'a' || Rate = 1"), 1);
  EXPECT_EQ(Evaluate("a|0"), 1);
  EXPECT_EQ(Evaluate("A|5"), 1);  // the same pattern: cached
  EXPECT_EQ(engine.ReductionCount(), 1);
  EXPECT_EQ(Evaluate("b|5"), 0);
  EXPECT_EQ(engine.ReductionCount(), 2);

  // "x&&y" with y false is 0 at once and leaves the cache as it was.
  ASSERT_EQ(engine.setEquation("(Parameter = 'a') && Rate = 1"), 1);
  EXPECT_EQ(Evaluate("a|1"), 1);
  EXPECT_EQ(Evaluate("a|2"), 0);
  EXPECT_EQ(Evaluate("b|2"), 0);
  EXPECT_EQ(Evaluate("a|1"), 1);
  EXPECT_EQ(engine.ReductionCount(), 3);
  EXPECT_EQ(Evaluate("b|1"), 0);
  // A new clause starts with an empty cache, also for the same pattern.
  ASSERT_EQ(engine.setEquation("Parameter = 'a' && Rate = 1 && Count = 0"), 1);
  EXPECT_EQ(Evaluate("a|1|0"), 1);
  EXPECT_EQ(engine.ReductionCount(), 5);
}

TEST(EquationReferenceTest, SkeletonsMatchThePassByPassRewrite) {
  std::mt19937 random(20261209);
  tSqlEquationEngine engine;
  engine.SetRow("");
  for (int round = 0; round < 4000; ++round) {
    std::string skeleton = RandomSkeleton(random, 1 + round % 5);
    for (int pattern = 0; pattern < 6; ++pattern) {  // operands: the constants 1 and 0
      std::string where, digits;
      for (char c : skeleton) {
        char digit = c != '#' ? c : (random() % 2 ? '1' : '0');
        where += c != '#' ? std::string(1, c) : std::string(" ") + digit + " ";
        digits += digit;
      }
      ASSERT_EQ(engine.setEquation(where.c_str()), 1) << where;
      ASSERT_EQ(engine.evaluateEquation(), Reduce(digits)) << digits;
      ASSERT_EQ(engine.Skeleton(), digits);
    }
  }
}

TEST(EquationReferenceTest, RandomRowsAndComparisons) {
  const int types[] = {0, 1, 2, 6, 6};
  const char* values[] = {"", "0", "9", "10", "-3", " 7", "12x", "1.5", "abc", "ABC", "abd", "a"};
  const char* patterns[] = {"a*", "?b?", "*c", "A?"};
  const char* ops[] = {"=", "<", ">", "<=", ">=", "!="};
  std::mt19937 random(7);
  tSqlEquationEngine engine;
  ASSERT_EQ(engine.SetColumns("I|U|F|S|T", "Int|dword|Float|String|Stamp"), S_OK);
  for (int round = 0; round < 1500; ++round) {
    std::string skeleton = RandomSkeleton(random, 3), where;
    struct Comparison {
      int column;
      std::string op, constant;
    };
    std::vector<Comparison> comparisons;
    bool wildcard = false;
    for (char c : skeleton) {
      if (c != '#') {
        where += c;
        continue;
      }
      Comparison k{static_cast<int>(random() % 5), ops[random() % 6],
                   random() % 6 == 0 ? patterns[random() % 4] : values[random() % 12]};
      wildcard = wildcard || k.constant.find_first_of("*?") != std::string::npos;
      where += std::string(1, "IUFST"[k.column]) + " " + k.op + " '" + k.constant + "'";
      if (k.constant == " 7") k.constant = "7";  // blanks after the quote are skipped
      comparisons.push_back(k);
    }
    ASSERT_EQ(engine.setEquation(where.c_str()), 1) << where;
    ASSERT_EQ(engine.WildcardFlag(), wildcard);
    for (int r = 0; r < 8; ++r) {
      std::vector<std::string> fields;
      std::string row, digits;
      for (int f = 0; f < 5; ++f) {
        fields.emplace_back(values[random() % 12]);
        row += (f ? "|" : "") + fields.back();
      }
      size_t next = 0;
      for (char c : skeleton) {
        const Comparison* k = c == '#' ? &comparisons[next++] : nullptr;
        digits += !k ? c
                  : CompareField(fields[k->column], k->op, k->constant, types[k->column], wildcard)
                      ? '1'
                      : '0';
      }
      engine.SetRow(row.c_str());
      ASSERT_EQ(engine.evaluateEquation(), Reduce(digits)) << where << " on " << row;
    }
  }
}

TEST(EquationReferenceTest, DeepAndLongClausesStayLinear) {
  tSqlEquationEngine engine;
  ASSERT_EQ(engine.SetColumns("Rate", "Int"), S_OK);
  engine.SetRow("1");
  constexpr int kCount = 100000;
  std::string nested = std::string(kCount, '(') + "Rate = 1" + std::string(kCount, ')');
  ASSERT_EQ(engine.setEquation(nested.c_str()), 1);
  EXPECT_EQ(engine.evaluateEquation(), 1);
  EXPECT_EQ(engine.setEquation(nested.substr(0, nested.size() - 1).c_str()), 0);

  // Left-nested, (((a && b) || c) && d)...: reduces left to right. And a
  // flat chain of as many comparisons: one pass of the rewrite.
  std::string left = std::string(kCount, '(') + "Rate = 1", flat = "Rate = 1", digits = "1";
  int expected = 1;
  for (int i = 1; i < kCount; ++i) {
    bool isAnd = i % 3 != 0, operand = i % 5 != 0;
    std::string op = isAnd ? "&&" : "||", comparison = operand ? "Rate = 1" : "Rate = 2";
    left += ") " + op + " " + comparison;
    flat += " " + op + " " + comparison;
    digits += op + (operand ? "1" : "0");
    expected = isAnd ? (expected & operand) : (expected | operand);
  }
  ASSERT_EQ(engine.setEquation((left + ")").c_str()), 1);
  EXPECT_EQ(engine.evaluateEquation(), expected);
  ASSERT_EQ(engine.setEquation(flat.c_str()), 1);
  EXPECT_EQ(engine.evaluateEquation(), Reduce(digits));
}

}  // namespace
