// tString: comparisons, search, fields and tokens. The edits (trim,
// truncate, slices, the field count) are checked against a model in
// tString_test.cpp.

#include <gtest/gtest.h>

#include <string>

#include "templatelib/tString.h"

namespace {

struct CompareCase {
  const char* a;
  const char* b;
  int32_t expected;
};

TEST(tStringCompare, NullRulesHoldForEveryComparison) {
  const CompareCase cases[] = {
      {nullptr, nullptr, 0}, {nullptr, "", -1}, {"", nullptr, 1}, {nullptr, "x", -1}};
  for (const CompareCase& c : cases) {
    EXPECT_EQ(tString::Compare(c.a, c.b), c.expected);
    EXPECT_EQ(tString::CompareNoCase(c.a, c.b), c.expected);
    EXPECT_EQ(tString::CompareTrimmed(c.a, c.b), c.expected);
  }
}

TEST(tStringCompare, NoCaseFoldsLettersOnly) {
  const CompareCase cases[] = {
      {"Table", "TABLE", 0}, {"abc", "abd", -1}, {"abd", "ABC", 1}, {"ab", "abc", -1},
      {"", "", 0},           {"a_b", "A_B", 0},  {"a1", "A1", 0},   {"\xe9", "\xc9", 1},
  };
  for (const CompareCase& c : cases) {
    EXPECT_EQ(tString::CompareNoCase(c.a, c.b), c.expected) << c.a << " vs " << c.b;
  }
}

TEST(tStringCompare, CaseSensitiveTwinTellsCaseApart) {
  EXPECT_EQ(tString::Compare("abc", "abc"), 0);
  EXPECT_NE(tString::Compare("abc", "ABC"), 0);
  EXPECT_EQ(tString::Compare("abc", "abd"), -1);
  EXPECT_EQ(tString::Compare("abd", "abc"), 1);
}

TEST(tStringCompare, TrimmedCompareOrdersByLengthFirst) {
  const CompareCase cases[] = {
      {"  ab \t", "AB", 0}, {"\r\nab\n", " aB ", 0}, {"z", "aa", -1}, {"aa", "z", 1},
      {"   ", "", 0},       {"ab", "ac", -1},        {" b ", "a", 1}, {"a b", "A B", 0},
  };
  for (const CompareCase& c : cases) {
    EXPECT_EQ(tString::CompareTrimmed(c.a, c.b), c.expected)
        << "'" << c.a << "' vs '" << c.b << "'";
  }
}

TEST(tStringSearch, FindNoCase) {
  struct Case {
    const char* haystack;
    const char* needle;
    int32_t expected;
  };
  const Case cases[] = {
      {"select * FROM Users", "from", 9},
      {"abc", "ABC", 0},
      {"abc", "abcd", -1},
      {"aab", "ab", 1},
      {"", "a", -1},
      {nullptr, "a", -1},
      {"", "", -1},
      {"abc", "", 0},
      {"abc", nullptr, 0},
      {"abc", "x", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tString::FindNoCase(c.haystack, c.needle), c.expected)
        << (c.haystack ? c.haystack : "(null)") << " / " << (c.needle ? c.needle : "(null)");
  }
}

TEST(tStringFields, CountFields) {
  EXPECT_EQ(tString::FieldCount(nullptr, '|'), 0);
  EXPECT_EQ(tString::FieldCount("", '|'), 1);
  EXPECT_EQ(tString::FieldCount("a|b|", '|'), 3);
  EXPECT_EQ(tString::FieldCount("a,b|c", ','), 2);
  EXPECT_EQ(tString::FieldCount("||", '|'), 3);
}

TEST(tStringFields, GetFieldCountsEmptyFields) {
  tString field;
  const char* row = "PS1||float|";
  const char* expected[] = {"PS1", "", "float", ""};
  for (int32_t i = 0; i < 4; ++i) {
    ASSERT_EQ(tString::GetField(row, i, '|', &field), S_OK) << i;
    EXPECT_STREQ(field.Text(), expected[i]) << i;
  }
  EXPECT_EQ(tString::GetField(row, 4, '|', &field), E_FAIL);
  EXPECT_STREQ(field.Text(), "");
  EXPECT_EQ(tString::GetField(nullptr, 0, '|', &field), E_FAIL);
  EXPECT_EQ(tString::GetField(row, -1, '|', &field), E_FAIL);
  EXPECT_EQ(tString::GetField(row, 0, '|', nullptr), E_POINTER);
}

TEST(tStringToken, WalksATextTokenByToken) {
  const char* text = "update|Users||set";
  const char* position = text;
  tString token;
  const char* expected[] = {"update", "Users", "", "set"};
  for (const char* want : expected) {
    ASSERT_EQ(tString::NextToken(&position, '|', &token), S_OK);
    EXPECT_STREQ(token.Text(), want);
  }
  EXPECT_EQ(*position, '\0');
  EXPECT_EQ(tString::NextToken(&position, '|', &token), E_FAIL);
}

TEST(tStringToken, BufferStartsAtTwentyFiveAndDoubles) {
  tString token;
  const char* position = "short";
  ASSERT_EQ(tString::NextToken(&position, ' ', &token), S_OK);
  EXPECT_EQ(token.Capacity(), 25);
  std::string longToken(60, 't');
  position = longToken.c_str();
  ASSERT_EQ(tString::NextToken(&position, ' ', &token), S_OK);
  EXPECT_EQ(token.Capacity(), 100);
  EXPECT_EQ(std::string(token.Text()), longToken);
  std::string exact(24, 'e');  // 24 characters + terminator fill 25 bytes exactly
  tString fresh;
  position = exact.c_str();
  ASSERT_EQ(tString::NextToken(&position, ' ', &fresh), S_OK);
  EXPECT_EQ(fresh.Capacity(), 25);
}

TEST(tStringToken, NullArguments) {
  tString token;
  const char* position = nullptr;
  EXPECT_EQ(tString::NextToken(nullptr, '|', &token), E_POINTER);
  EXPECT_EQ(tString::NextToken(&position, '|', &token), E_POINTER);
  position = "a";
  EXPECT_EQ(tString::NextToken(&position, '|', nullptr), E_POINTER);
}

}  // namespace
