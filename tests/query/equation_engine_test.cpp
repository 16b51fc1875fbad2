#include "query/tSqlEquationEngine.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "query/equation_reference_support.h"
#include "templatelib/DebugCapture.h"

namespace {

constexpr const char* kNames = "Parameter|Rate|Count|Value|Color";
constexpr const char* kTypes = "String|Int|DWord|Float|Color";

struct Case {
  const char* where;
  const char* row;
  int32_t expected;
};

class EquationEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(engine.SetColumns(kNames, kTypes), S_OK); }

  int32_t Evaluate(const char* row) {
    engine.SetRow(row);
    return engine.evaluateEquation();
  }

  tSqlEquationEngine engine;
};

TEST_F(EquationEngineTest, ComparisonsByTypeAndOperator) {
  const Case cases[] = {
      {"Parameter = 'A*'", "abc|0|0|0|Red", 1},
      {"Parameter = 'A*'", "A|0|0|0|Red", 1},
      {"Parameter = 'A*'", "bA|0|0|0|Red", 0},
      {"Parameter = 'a?c'", "ABC|0|0|0|Red", 1},
      {"Parameter = 'a?c'", "abcd|0|0|0|Red", 0},
      {"Parameter = 'abc'", "ABC|0|0|0|Red", 1},
      {"Parameter != 'ABC'", "abc|0|0|0|Red", 0},
      {"Rate < 10", "x|9|0|0|Red", 1},           // Int: 9 < 10
      {"Parameter < 10", "9|0|0|0|Red", 0},      // String: "9" > "10"
      {"Parameter > 10", "9|0|0|0|Red", 1},
      {"Rate = 0", "x|abc|0|0|Red", 1},          // no digits read as 0
      {"Rate >= -3", "x|  -3tail|0|0|Red", 1},   // white space, sign, stop at a letter
      {"Rate > 2147483646", "x|99999999999|0|0|Red", 1},  // saturated, not wrapped
      {"Count > 5", "x|0|-1|0|Red", 1},          // unsigned: 0xFFFFFFFF
      {"Rate > 5", "x|-1|0|0|Red", 0},
      {"Value >= 0.5", "x|0|0|0.75|Red", 1},
      {"Value = 1e3", "x|0|0|1000|Red", 1},
      {"Value = 0", "x", 1},                     // missing field: empty, read as 0
      {"Color = 'red'", "x|0|0|0|RED", 1},       // Color compares as String
      {"Rate>=10", "x|10|0|0|Red", 1},           // operators need no blanks
      {"Parameter == 'a'", "A|0|0|0|Red", 1},
      {"Parameter = 'O\xF4'Brien'", "O'Brien|0|0|0|Red", 1},
      {"Parameter = 'a)b' && Rate = 1", "a)b|1|0|0|Red", 1},
      {"Parameter = ''", "|1|0|0|Red", 1},
      {"1", "x", 1},
      {"10", "x", 1},
      {"0", "x", 0},
      {"False", "x", 0},
      {"fALSE || Rate = 1", "x|1", 1},
      {"1||0&&0", "x", 0},
      {"1||(0&&0)", "x", 1},
      // The run after the last group is reduced before the group is: not
      // plain left to right.
      {"(1 && 1) || 0 && 0", "x", 1},
      {"((1 && 1) && 1) || 0 && (0) && 0", "x", 1},
      {"(Rate = 1 || Rate = 2) && Parameter = 'p'", "p|2", 1},
      {"(Rate = 1 || Rate = 2) && Parameter = 'p'", "q|2", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    ASSERT_EQ(engine.setEquation(c.where), 1);
    EXPECT_EQ(Evaluate(c.row), c.expected);
  }
}

TEST_F(EquationEngineTest, RecordsAndSkeleton) {
  ASSERT_EQ(engine.setEquation("  (Parameter = 'Parm5') && (Rate >= 7) || Color != x  "), 1);
  EXPECT_STREQ(engine.WhereText(), "(Parameter = 'Parm5') && (Rate >= 7) || Color != x");
  EXPECT_STREQ(engine.Skeleton(), "(#)&&(#)||#");
  ASSERT_EQ(engine.SubExpressionCount(), 3);
  const tSqlSubExpression& first = engine.SubExpression(0);
  EXPECT_STREQ(first.column.Text(), "Parameter");
  EXPECT_STREQ(first.constant.Text(), "Parm5");
  EXPECT_EQ(first.op, kOpEqual);
  EXPECT_EQ(first.valueType, kValueString);
  EXPECT_EQ(first.slot, 1);
  EXPECT_EQ(engine.SubExpression(1).op, kOpGreaterOrEqual);
  EXPECT_EQ(engine.SubExpression(1).valueType, kValueInt);
  EXPECT_EQ(engine.SubExpression(1).columnIndex, 1);
  EXPECT_EQ(engine.SubExpression(2).op, kOpNotEqual);
  EXPECT_FALSE(engine.WildcardFlag());
  EXPECT_EQ(Evaluate("parm5|3|0|0|x"), 0);
  EXPECT_STREQ(engine.Skeleton(), "(1)&&(0)||0");

  ASSERT_EQ(engine.setEquation("(Parameter = 'a')"), 1);
  EXPECT_STREQ(engine.Skeleton(), "(#)");
  EXPECT_EQ(Evaluate("A"), 1);
  EXPECT_STREQ(engine.Skeleton(), "(1)");

  // The wildcard flag belongs to one clause, not to the engine.
  ASSERT_EQ(engine.setEquation("Parameter = 'a*'"), 1);
  EXPECT_TRUE(engine.WildcardFlag());
  ASSERT_EQ(engine.setEquation("Parameter = 'a'"), 1);
  EXPECT_FALSE(engine.WildcardFlag());
}

TEST_F(EquationEngineTest, RefusesMalformedClauses) {
  const char* refused[] = {
      nullptr, "", "   ", "Nope = 1", "(Parameter = 'a'", "Parameter = 'a')", "()",
      ")Rate = 1(", "Parameter = 'a' & Rate = 1", "Parameter = 'a' | Rate = 1", "&& Rate = 1",
      "Rate = 1 &&", "Rate = 1 && && Rate = 2", "Rate = 1 ||", "Rate = 1 &&&& Rate = 2",
      "Parameter", "Rate ! 5", "= 5", "(Rate = 1)(Rate = 2)", "Rate = 1 (Rate = 2)", "00",
      "Falsehood"};
  for (const char* where : refused) {
    SCOPED_TRACE(where != nullptr ? where : "(null)");
    EXPECT_EQ(engine.setEquation(where), 0);
    EXPECT_EQ(engine.SubExpressionCount(), 0);
  }
  // A refused clause leaves nothing loaded: no row matches it.
  testsupport::DebugCapture capture;
  EXPECT_EQ(Evaluate("a|1"), 0);
  EXPECT_EQ(capture.messages().size(), 1u);
}

TEST_F(EquationEngineTest, CacheAndAndZeroShortcutKeepOutcomes) {
  ASSERT_EQ(engine.setEquation("Parameter = 'a' || Rate = 1"), 1);
  EXPECT_EQ(Evaluate("a|0"), 1);
  EXPECT_EQ(engine.ReductionCount(), 1);
  EXPECT_EQ(Evaluate("A|5"), 1);  // same pattern 1,0: cached
  EXPECT_EQ(engine.ReductionCount(), 1);
  EXPECT_EQ(Evaluate("b|5"), 0);  // new pattern
  EXPECT_EQ(engine.ReductionCount(), 2);

  // "x&&y" with y false is 0 at once and leaves the cache as it was.
  ASSERT_EQ(engine.setEquation("(Parameter = 'a') && Rate = 1"), 1);
  EXPECT_EQ(Evaluate("a|1"), 1);
  int64_t reductions = engine.ReductionCount();
  EXPECT_EQ(Evaluate("a|2"), 0);
  EXPECT_EQ(Evaluate("b|2"), 0);
  EXPECT_EQ(engine.ReductionCount(), reductions);
  EXPECT_EQ(Evaluate("a|1"), 1);
  EXPECT_EQ(engine.ReductionCount(), reductions);
  EXPECT_EQ(Evaluate("b|1"), 0);
  EXPECT_EQ(engine.ReductionCount(), reductions + 1);

  // A new clause starts with an empty cache, also for the same pattern.
  ASSERT_EQ(engine.setEquation("Parameter = 'a' && Rate = 1 && Count = 0"), 1);
  EXPECT_EQ(Evaluate("a|1|0"), 1);
  EXPECT_EQ(engine.ReductionCount(), reductions + 2);
}

TEST(EquationWildcardTest, Patterns) {
  EXPECT_TRUE(tSqlEquationEngine::wildcardMatch("", "*"));
  EXPECT_TRUE(tSqlEquationEngine::wildcardMatch("abcabd", "*ab?"));
  EXPECT_TRUE(tSqlEquationEngine::wildcardMatch("aXbXc", "A*B*C"));
  EXPECT_FALSE(tSqlEquationEngine::wildcardMatch("abc", "a*b"));
  EXPECT_FALSE(tSqlEquationEngine::wildcardMatch("", "?"));
  EXPECT_FALSE(tSqlEquationEngine::wildcardMatch(nullptr, "*"));
  EXPECT_FALSE(tSqlEquationEngine::wildcardMatch("a", nullptr));
}

// ---- random clauses against the literal rewrite -----------------------------

// A random skeleton: operands '#', groups (some redundant), "&&" and "||".
std::string RandomSkeleton(std::mt19937& random, int depth) {
  std::string out;
  int items = 1 + static_cast<int>(random() % 4);
  for (int i = 0; i < items; ++i) {
    if (i > 0) out += (random() % 2) ? "&&" : "||";
    unsigned pick = random() % 10;
    if (depth > 0 && pick < 4) {
      out += "(" + RandomSkeleton(random, depth - 1) + ")";
    } else if (pick == 4) {
      out += "((#))";
    } else if (pick == 5) {
      out += "(#)";
    } else {
      out += "#";
    }
  }
  return out;
}

TEST(EquationReferenceTest, SkeletonsMatchThePassByPassRewrite) {
  std::mt19937 random(20261209);
  tSqlEquationEngine engine;
  ASSERT_EQ(engine.SetColumns("A", "String"), S_OK);
  for (int round = 0; round < 4000; ++round) {
    std::string skeleton = RandomSkeleton(random, 1 + round % 5);
    ASSERT_EQ(engine.setEquation(skeleton.c_str()), 0)
        << "a bare skeleton has no operands: " << skeleton;
    // The same shape with the constants "1" and "0" as operands, for
    // several slot patterns.
    for (int pattern = 0; pattern < 6; ++pattern) {
      std::string where;
      std::string digits;
      for (char c : skeleton) {
        if (c == '#') {
          bool one = random() % 2;
          where += one ? " 1 " : " 0 ";
          digits += one ? '1' : '0';
        } else {
          where += c;
          digits += c;
        }
      }
      ASSERT_EQ(engine.setEquation(where.c_str()), 1) << where;
      engine.SetRow("");
      int expected = equation_reference::Reduce(digits);
      ASSERT_NE(expected, -1) << digits;
      ASSERT_EQ(engine.evaluateEquation(), expected) << digits;
      ASSERT_EQ(engine.Skeleton(), digits);
    }
  }
}

TEST(EquationReferenceTest, RandomRowsAndComparisons) {
  const char* names = "I|U|F|S|T";
  const int types[] = {0, 1, 2, 6, 6};
  const char* values[] = {"", "0", "9", "10", "-3", " 7", "12x", "1.5", "abc", "ABC", "abd", "a"};
  const char* patterns[] = {"a*", "?b?", "*c", "A?"};
  const char* ops[] = {"=", "<", ">", "<=", ">=", "!="};
  std::mt19937 random(7);
  tSqlEquationEngine engine;
  ASSERT_EQ(engine.SetColumns(names, "Int|dword|Float|String|Stamp"), S_OK);
  for (int round = 0; round < 1500; ++round) {
    std::string skeleton = RandomSkeleton(random, 3);
    struct Comparison {
      int column;
      std::string op, constant;
    };
    std::vector<Comparison> comparisons;
    bool wildcard = false;
    std::string where;
    for (char c : skeleton) {
      if (c != '#') {
        where += c;
        continue;
      }
      Comparison k{static_cast<int>(random() % 5), ops[random() % 6], ""};
      k.constant = (random() % 6 == 0) ? patterns[random() % 4] : values[random() % 12];
      wildcard = wildcard || k.constant.find_first_of("*?") != std::string::npos;
      where += std::string(1, names[2 * k.column]) + " " + k.op + " '" + k.constant + "'";
      // Blanks after the operator and its quote are not part of the constant.
      k.constant.erase(0, k.constant.find_first_not_of(' ') == std::string::npos
                              ? 0
                              : k.constant.find_first_not_of(' '));
      comparisons.push_back(k);
    }
    ASSERT_EQ(engine.setEquation(where.c_str()), 1) << where;
    ASSERT_EQ(engine.WildcardFlag(), wildcard);
    for (int r = 0; r < 8; ++r) {
      std::vector<std::string> fields;
      std::string row;
      for (int f = 0; f < 5; ++f) {
        fields.emplace_back(values[random() % 12]);
        row += (f ? "|" : "") + fields.back();
      }
      std::string digits;
      size_t next = 0;
      for (char c : skeleton) {
        if (c != '#') {
          digits += c;
          continue;
        }
        const Comparison& k = comparisons[next++];
        digits += equation_reference::CompareField(fields[k.column], k.op, k.constant,
                                                   types[k.column], wildcard)
                      ? '1'
                      : '0';
      }
      engine.SetRow(row.c_str());
      ASSERT_EQ(engine.evaluateEquation(), equation_reference::Reduce(digits))
          << where << " on " << row << " gives " << digits;
    }
  }
}

TEST(EquationReferenceTest, DeepAndLongClausesStayLinear) {
  tSqlEquationEngine engine;
  ASSERT_EQ(engine.SetColumns("Rate", "Int"), S_OK);
  constexpr int kCount = 100000;

  std::string nested = std::string(kCount, '(') + "Rate = 1" + std::string(kCount, ')');
  ASSERT_EQ(engine.setEquation(nested.c_str()), 1);
  engine.SetRow("1");
  EXPECT_EQ(engine.evaluateEquation(), 1);
  engine.SetRow("2");
  EXPECT_EQ(engine.evaluateEquation(), 0);

  // Left-nested: (((a && b) || c) && d)...; a group that is the first item
  // of its level reduces left to right.
  std::string left(kCount, '(');
  left += "Rate = 1";
  int expected = 1;  // for the row "1"
  for (int i = 1; i < kCount; ++i) {
    bool isAnd = i % 3 != 0;
    bool operand = i % 5 != 0;  // "Rate = 1" true, "Rate = 2" false
    left += isAnd ? ") && Rate = " : ") || Rate = ";
    left += operand ? "1" : "2";
    expected = isAnd ? (expected & operand) : (expected | operand);
  }
  left += ")";
  ASSERT_EQ(engine.setEquation(left.c_str()), 1);
  engine.SetRow("1");
  EXPECT_EQ(engine.evaluateEquation(), expected);

  // A flat chain of 100,000 comparisons: one pass of the rewrite.
  std::string flat = "Rate = 1";
  std::string digits = "1";
  for (int i = 1; i < kCount; ++i) {
    bool isAnd = i % 7 < 3;
    bool operand = i % 11 == 0;
    flat += std::string(isAnd ? " && " : " || ") + (operand ? "Rate = 1" : "Rate = 2");
    digits += std::string(isAnd ? "&&" : "||") + (operand ? "1" : "0");
  }
  ASSERT_EQ(engine.setEquation(flat.c_str()), 1);
  engine.SetRow("1");
  EXPECT_EQ(engine.evaluateEquation(), equation_reference::Reduce(digits));

  std::string unbalanced(kCount, '(');
  EXPECT_EQ(engine.setEquation((unbalanced + "Rate = 1").c_str()), 0);
}

}  // namespace
