// tWString, the wide twin used for archive paths and entry names.

#include <gtest/gtest.h>

#include <string>

#include "templatelib/tString.h"

namespace {

TEST(tWString, AssignAppendAndConvertBothWays) {
  tWString path;
  ASSERT_EQ(path.AssignNarrow("C:/data/config.zip"), S_OK);
  EXPECT_STREQ(path.Text(), L"C:/data/config.zip");
  ASSERT_EQ(path.Append(L"/entry"), S_OK);
  EXPECT_STREQ(path.Text(), L"C:/data/config.zip/entry");
  tString narrow;
  ASSERT_EQ(path.ToNarrow(&narrow), S_OK);
  EXPECT_STREQ(narrow.Text(), "C:/data/config.zip/entry");
  ASSERT_EQ(path.Assign(path.Text() + 3), S_OK);
  EXPECT_STREQ(path.Text(), L"data/config.zip/entry");
}

TEST(tWString, FormatGrowsUntilTheTextFits) {
  tWString s;
  std::wstring longText(300, L'k');
  ASSERT_EQ(s.Format(L"%ls#%d", longText.c_str(), 5), S_OK);
  EXPECT_EQ(std::wstring(s.Text()), longText + L"#5");
  EXPECT_EQ(s.Capacity(), 320);
}

TEST(tWString, NullRulesAndCaseFolding) {
  EXPECT_EQ(tWString::CompareNoCase(nullptr, nullptr), 0);
  EXPECT_EQ(tWString::CompareNoCase(nullptr, L""), -1);
  EXPECT_EQ(tWString::CompareNoCase(L"", nullptr), 1);
  EXPECT_EQ(tWString::CompareNoCase(L"Misc.Config", L"MISC.CONFIG"), 0);
  EXPECT_EQ(tWString::CompareNoCase(L"a", L"b"), -1);
  tWString s;
  tString out;
  ASSERT_EQ(s.ToNarrow(&out), S_OK);
  EXPECT_TRUE(out.IsNull());
}

}  // namespace
