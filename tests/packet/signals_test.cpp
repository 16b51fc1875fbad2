// Signals files: rules to exact float bits at chosen sample numbers for
// every pattern, the refusals, the periodic tables against the formula,
// and rules resolved against a run's parameters.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "packet/SignalPlan.h"
#include "packet/SignalRules.h"
#include "packet/SignalValues.h"

namespace {

packet::SignalRule OneRule(const std::string& line) {
  packet::SignalsFile file;
  EXPECT_TRUE(packet::ParseSignals(line, &file).ok()) << line;
  return file.rules.empty() ? packet::SignalRule{} : file.rules[0];
}

TEST(SignalValues, EveryPatternGivesItsExactBits) {
  // Expected bits from an independent implementation of the formulas.
  const struct {
    const char* rule;
    double rate;
    uint64_t position;
    uint64_t n;
    uint32_t bits;
  } cases[] = {
      {"* constant value=2.5", 50, 1, 7, 0x40200000},
      {"* constant value=1e300", 50, 1, 0, 0x7F800000},  // rounds to +inf
      {"* sine amplitude=2", 4, 1, 1, 0x40000000},       // sin(pi/2)
      {"* sine amplitude=2", 4, 1, 2, 0x258D3132},       // 2 sin(pi), not 0
      {"* sine amplitude=2 period=1", 1000, 1, 1000000000250ull, 0x40000000},
      {"* sine amplitude=3 period=0.3 offset=0.5 phase=30", 100, 1, 7, 0x404F6696},
      {"* sine phase=90 offset=1", 10, 1, 0, 0x40000000},
      {"* square low=-1 high=5 period=2 duty=0.25", 10, 1, 4, 0x40A00000},
      {"* square low=-1 high=5 period=2 duty=0.25", 10, 1, 5, 0xBF800000},  // f == duty: low
      {"* square low=-1 high=5 period=2 duty=0.25", 10, 1, 20, 0x40A00000},
      {"* square duty=0", 10, 1, 0, 0x00000000},
      {"* triangle max=10", 8, 1, 2, 0x40A00000},
      {"* triangle max=10", 8, 1, 4, 0x41200000},
      {"* triangle max=10", 8, 1, 6, 0x40A00000},
      {"* sawtooth min=-1 max=1 period=4", 1, 1, 3, 0x3F000000},
      {"* sawtooth min=-1 max=1 period=0.5", 3, 1, 1, 0x3EAAAAAB},  // 1.5 samples: no table
      {"* steps values=1,2,3 hold=0.5", 4, 1, 1, 0x3F800000},
      {"* steps values=1,2,3 hold=0.5", 4, 1, 2, 0x40000000},
      {"* steps values=1,2,3 hold=0.5", 4, 1, 5, 0x40400000},
      {"* steps values=1,2,3 hold=0.5", 4, 1, 6, 0x3F800000},
      {"* random", 50, 1, 0, 0x3F699FF8},
      {"* random min=-5 max=5 seed=42", 50, 7, 123456789, 0xBECE4D31},
      {"* special", 50, 1, 0, 0x00000000},
      {"* special", 50, 1, 1, 0x80000000},
      {"* special", 50, 1, 2, 0x00800000},
      {"* special", 50, 1, 3, 0x00000001},
      {"* special", 50, 1, 4, 0x7F7FFFFF},
      {"* special", 50, 1, 5, 0xFF7FFFFF},
      {"* special", 50, 1, 6, 0x7F800000},
      {"* special", 50, 1, 7, 0xFF800000},
      {"* special", 50, 1, 8, 0x7FC00000},
      {"* special", 50, 1, 10, 0x80000000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.rule) + " at n=" + std::to_string(c.n));
    const packet::SignalRule rule = OneRule(c.rule);
#ifdef _WIN32
    // The C library's sine is not glibc's: near a zero crossing its last
    // bit of a double is many bits of the float. The rest is exact.
    if (std::string(c.rule).find("sine") != std::string::npos) {
      const float want = std::bit_cast<float>(c.bits);
      EXPECT_NEAR(packet::SignalValue(rule, c.rate, c.position, c.n), want, 1e-12);
      continue;
    }
#endif
    EXPECT_EQ(std::bit_cast<uint32_t>(packet::SignalValue(rule, c.rate, c.position, c.n)), c.bits);
    const packet::SignalSource source(rule, c.rate);
    EXPECT_EQ(std::bit_cast<uint32_t>(source.At(c.position, c.n)), c.bits);
  }
}

// The tables stand in for the formula at every sample number, well past
// the first period and at random far-off ones.
TEST(SignalValues, TablesAgreeWithTheFormulaFarIntoARun) {
  const struct {
    const char* rule;
    double rate;
  } cases[] = {
      {"* sine period=0.1 phase=45", 1000},     {"* square period=2.5 duty=0.3", 40},
      {"* triangle min=-3 max=7 period=3", 25}, {"* sawtooth period=0.02", 50},
      {"* steps values=0,1.5,-2 hold=0.2", 20}, {"* special", 200},
  };
  std::mt19937_64 random(26);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    const packet::SignalRule rule = OneRule(c.rule);
    const packet::SignalSource source(rule, c.rate);
    ASSERT_NE(source.table(), nullptr);
    for (int i = 0; i < 2000; ++i) {
      const uint64_t n = i < 1000 ? static_cast<uint64_t>(i) : random() >> 20;
      ASSERT_EQ(std::bit_cast<uint32_t>(source.At(1, n)),
                std::bit_cast<uint32_t>(packet::SignalValue(rule, c.rate, 1, n)))
          << "n=" << n;
    }
  }
}

TEST(SignalRules, ReadsSelectorsDefaultsAndComments) {
  packet::SignalsFile file;
  ASSERT_TRUE(packet::ParseSignals("# every parameter a sine\n"
                                   "* SINE Period=2   # slow\r\n"
                                   "\n"
                                   "#3-5 square high=10\n"
                                   "#7 counter\n"
                                   "S01_Parm1? random seed=18446744073709551615\n"
                                   "RATE=400 steps values=1,-2.5e1\n",
                                   &file)
                  .ok());
  ASSERT_EQ(file.rules.size(), 5u);
  EXPECT_EQ(file.rules[0].pattern, packet::SignalPattern::kSine);
  EXPECT_EQ(file.rules[0].period, 2.0);
  EXPECT_EQ(file.rules[0].amplitude, 1.0);
  EXPECT_EQ(file.rules[0].line, 2);
  EXPECT_EQ(file.rules[0].text, "* SINE Period=2");
  EXPECT_EQ(file.rules[1].selector.kind, packet::SelectorKind::kPositions);
  EXPECT_EQ(file.rules[1].selector.first, 3);
  EXPECT_EQ(file.rules[1].selector.last, 5);
  EXPECT_EQ(file.rules[1].high, 10.0);
  EXPECT_EQ(file.rules[1].duty, 0.5);
  EXPECT_EQ(file.rules[2].selector.last, 7);
  EXPECT_EQ(file.rules[3].selector.name, "S01_Parm1?");
  EXPECT_EQ(file.rules[3].seed, 18446744073709551615ull);
  EXPECT_EQ(file.rules[4].selector.rate, 400.0);
  EXPECT_EQ(file.rules[4].values, (std::vector<double>{1, -25}));
}

TEST(SignalRules, NamesTheLineAndTheFaultOfABadFile) {
  const std::pair<const char*, const char*> cases[] = {
      {"*\n", "line 1: no pattern after the selector"},
      {"\n* wave\n",
       "line 2: unknown pattern 'wave' (counter, constant, sine, square, triangle, "
       "sawtooth, steps, random, special)"},
      {"* sine period=0\n", "line 1: period must be above 0"},
      {"* square period=-1\n", "line 1: period must be above 0"},
      {"* square duty=1.5\n", "line 1: duty must be from 0 to 1"},
      {"* triangle min=2 max=1\n", "line 1: max is below min"},
      {"* random min=2 max=1\n", "line 1: max is below min"},
      {"* steps values=1,2 hold=0\n", "line 1: hold must be above 0"},
      {"* steps\n", "line 1: steps needs values=V1,V2,..."},
      {"* steps values=1,,2\n", "line 1: values: '' is not a finite decimal"},
      {"* constant value=nan\n", "line 1: value: 'nan' is not a finite decimal"},
      {"* constant value=1e400\n", "line 1: value: '1e400' is not a finite decimal"},
      {"* sine amplitude=0x10\n", "line 1: amplitude: '0x10' is not a finite decimal"},
      {"* sine amplitude=1 amplitude=2\n", "line 1: amplitude is given twice"},
      {"* sine value=1\n",
       "line 1: 'value=1': sine takes NAME=VALUE with NAME one of amplitude, period, offset, "
       "phase"},
      {"* special 3\n", "line 1: '3': special takes no parameters"},
      {"* random seed=-1\n", "line 1: seed: '-1' is not a whole number from 0 to 2^64 - 1"},
      {"* random seed=18446744073709551616\n",
       "line 1: seed: '18446744073709551616' is not a whole number from 0 to 2^64 - 1"},
      {"rate=0 sine\n", "line 1: 'rate=0': the rate must be a decimal above 0"},
      {"#0 sine\n",
       "line 1: '#0': positions are #A or #A-B, whole numbers from 1 with B at least A"},
      {"#5-3 sine\n",
       "line 1: '#5-3': positions are #A or #A-B, whole numbers from 1 with B at least A"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    packet::SignalsFile file;
    file.rules.emplace_back();
    EXPECT_EQ(packet::ParseSignals(text, &file).message(), expected);
    EXPECT_EQ(file.rules.size(), 1u);  // untouched
  }
}

TEST(SignalPlan, TheLastRuleThatSelectsAParameterDecides) {
  packet::SignalsFile file;
  ASSERT_TRUE(packet::ParseSignals("* sine\n"
                                   "rate=100 square\n"
                                   "S01_Parm1? constant value=3\n"
                                   "#2 counter\n"
                                   "Nobody* special\n",
                                   &file)
                  .ok());
  const std::vector<std::string> names = {"S01_Parm1", "S01_Parm2", "S01_Parm10", "S01_Parm11",
                                          "S01_Parm100"};
  const std::vector<double> rates = {100, 100, 50, 100, 100.0000001};
  const packet::SignalPlan plan(file, names, rates);
  const packet::SignalPattern expected[] = {
      packet::SignalPattern::kSquare, packet::SignalPattern::kCounter,
      packet::SignalPattern::kConstant, packet::SignalPattern::kConstant,
      packet::SignalPattern::kSquare};
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    const int32_t id = plan.SourceOf(i);
    EXPECT_EQ(id == packet::SignalPlan::kCounter ? packet::SignalPattern::kCounter
                                                 : plan.source(id).rule().pattern,
              expected[i]);
  }
  EXPECT_EQ(plan.signalled(), 4);
  // One table per rule and rate: Parm1 and Parm100 differ in the seventh
  // decimal of the rate, Parm10 and Parm11 in the rate.
  EXPECT_EQ(plan.sourceCount(), 4u);
  EXPECT_EQ(plan.unusedRules(), std::vector<int32_t>{5});
  EXPECT_TRUE(packet::NameMatches("*Parm*1", "S01_Parm101"));
  EXPECT_FALSE(packet::NameMatches("S01_Parm1?", "S01_Parm1"));
}

// The plan against the plain reading of the rules (every rule tried on every
// parameter, the last that selects deciding) on random files and tables.
TEST(SignalPlan, AgreesWithEveryRuleTriedOnEveryParameter) {
  std::mt19937 random(7);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto word = [&](const char* alphabet, int length) {
    std::string text;
    for (int i = 0; i < length; ++i) text += alphabet[pick(static_cast<int>(strlen(alphabet)))];
    return text;
  };
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    const int count = 1 + pick(60);
    std::vector<std::string> names;
    std::vector<double> rates;
    for (int i = 0; i < count; ++i) {
      names.push_back(word("ab1", 1 + pick(4)));
      rates.push_back(std::vector<double>{10, 50, 100, 100.0000001, 200}[pick(5)]);
    }
    std::string text;
    for (int r = 0, rules = pick(12); r < rules; ++r) {
      switch (pick(5)) {
        case 0:
          text += "*";
          break;
        case 1:
          text += word("ab1*?", 1 + pick(4));
          break;
        case 2:
          text += "rate=" + std::to_string(std::vector<int>{10, 50, 100, 300}[pick(4)]);
          break;
        case 3:
          text += "#" + std::to_string(1 + pick(count + 5));
          break;
        default: {
          const int first = 1 + pick(count + 5);
          text += "#" + std::to_string(first) + "-" + std::to_string(first + pick(20));
        }
      }
      text += pick(4) == 0 ? " counter\n" : " constant value=" + std::to_string(r) + "\n";
    }
    packet::SignalsFile file;
    ASSERT_TRUE(packet::ParseSignals(text, &file).ok()) << text;
    const packet::SignalPlan plan(file, names, rates);
    std::vector<int32_t> unused;
    int64_t signalled = 0;
    for (size_t r = 0; r < file.rules.size(); ++r) {
      bool selects = false;
      for (int i = 0; i < count; ++i) {
        selects |= packet::SelectorMatches(file.rules[r].selector, names[i], rates[i], i + 1);
      }
      if (!selects) unused.push_back(file.rules[r].line);
    }
    for (int i = 0; i < count; ++i) {
      const packet::SignalRule* decides = nullptr;
      for (const packet::SignalRule& rule : file.rules) {
        if (packet::SelectorMatches(rule.selector, names[i], rates[i], i + 1)) decides = &rule;
      }
      const int32_t id = plan.SourceOf(static_cast<size_t>(i));
      if (decides == nullptr || decides->pattern == packet::SignalPattern::kCounter) {
        EXPECT_EQ(id, packet::SignalPlan::kCounter) << text << names[i];
        continue;
      }
      ++signalled;
      ASSERT_NE(id, packet::SignalPlan::kCounter) << text << names[i];
      EXPECT_EQ(&plan.source(id).rule(), decides) << text << names[i];
      EXPECT_EQ(plan.source(id).rate(), rates[i]);
    }
    EXPECT_EQ(plan.signalled(), signalled);
    EXPECT_EQ(plan.unusedRules(), unused) << text;
  }
}

// Neither the tables nor the wildcard matching grow with what a file asks.
TEST(SignalPlan, BoundsItsTablesAndItsWildcardRules) {
  std::string text;
  for (int i = 1; i <= 40; ++i) text += "#" + std::to_string(i) + " sine period=1000\n";
  packet::SignalsFile file;
  ASSERT_TRUE(packet::ParseSignals(text, &file).ok());
  const std::vector<std::string> names(40, "P");
  const std::vector<double> rates(40, 1000.0);  // a million samples a period
  const packet::SignalPlan plan(file, names, rates);
  uint64_t tabled = 0;
  for (size_t i = 0; i < plan.sourceCount(); ++i) {
    tabled += plan.source(static_cast<int32_t>(i)).tableSamples();
  }
  EXPECT_LE(tabled, packet::kMaxSignalTableTotalSamples);
  const packet::SignalSource& last = plan.source(plan.SourceOf(39));
  ASSERT_EQ(last.table(), nullptr);  // past the room: worked out sample by sample
  for (uint64_t n : {0ull, 1ull, 999'999ull, 123'456'789ull}) {
    EXPECT_EQ(std::bit_cast<uint32_t>(last.At(40, n)),
              std::bit_cast<uint32_t>(plan.source(plan.SourceOf(0)).At(1, n)));
  }

  std::string wild;
  for (size_t i = 0; i <= packet::kMaxWildcardRules; ++i)
    wild += "S*" + std::to_string(i) + " sine\n";
  EXPECT_EQ(packet::ParseSignals(wild, &file).message(),
            "line 1001: more than 1000 rules select names with * or ?");
}

}  // namespace
