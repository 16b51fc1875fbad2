#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "query/tQueryString.h"
#include "support/DebugCapture.h"

namespace {

std::vector<std::string> Lines(tQueryString& set) {
  std::vector<std::string> lines;
  set.ResetCursor();
  for (const char* line = set.NextLine(); line != nullptr; line = set.NextLine()) {
    lines.emplace_back(line);
  }
  return lines;
}

int32_t InOrder(const char* newLine, const char* existingLine, void*) {
  if (std::strcmp(newLine, "drop") == 0) return kDropLine;
  return std::strcmp(existingLine, newLine) > 0 ? 1 : 0;
}

std::string Key(std::string text) {
  text.erase(0, text.find_first_not_of(" \t"));
  text.erase(text.find_last_not_of(" \t") + 1);
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

TEST(QueryStringTest, ClearKeepsNodesAndBuffers) {
  tQueryString set;
  ASSERT_EQ(set.Append("first line"), S_OK);
  ASSERT_EQ(set.Append("second line|x", 6), S_OK);
  EXPECT_EQ(Lines(set), (std::vector<std::string>{"first line", "second"}));
  const char* kept = set.LineAt(0);
  set.Clear();
  EXPECT_EQ(set.NextLine(), nullptr);
  ASSERT_EQ(set.Append("again"), S_OK);
  EXPECT_EQ(set.LineAt(0), kept);  // the node and its text buffer came back
  EXPECT_EQ(Lines(set), (std::vector<std::string>{"again"}));
}

// Every operation against a vector of lines, with spare nodes in play.
TEST(QueryStringTest, RandomOperationsMatchAModel) {
  const char* texts[] = {"a|1", "A|1 ", " b|2", "B|10", "c", "drop", "a|9", "", "b|2|x"};
  std::mt19937 random(4242);
  tQueryString set;
  std::vector<std::string> model;
  for (int step = 0; step < 20000; ++step) {
    std::string text = texts[random() % 9];
    switch (random() % 10) {
      case 0:
        if (random() % 4 == 0) {
          set.Clear();
          model.clear();
        }
        break;
      case 1:
      case 2:
      case 3: {
        HRESULT hr = set.InsertOrdered(text.c_str(), InOrder, nullptr);
        if (text == "drop" && !model.empty()) {  // the callback sees no line otherwise
          EXPECT_EQ(hr, S_FALSE);
          break;
        }
        auto at = std::find_if(model.begin(), model.end(),
                               [&](const std::string& line) { return line > text; });
        model.insert(at, text);
        break;
      }
      case 4: {
        bool expected = std::any_of(model.begin(), model.end(), [&](const std::string& line) {
          return Key(line) == Key(text);
        });
        ASSERT_EQ(set.ContainsEquivalent(text.c_str()), expected) << text;
        break;
      }
      case 5: {
        ASSERT_EQ(set.SortByColumn(0, true), S_OK);
        std::vector<std::string> sorted = Lines(set);
        auto upper = [](std::string text) {
          text.resize(std::min(text.find('|'), text.size()));
          for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
          return text;
        };
        auto before = [&](const std::string& a, const std::string& b) {
          return upper(a) < upper(b);
        };
        ASSERT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), before));
        std::vector<std::string> a = sorted, b = model;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        ASSERT_EQ(a, b);
        model = sorted;
        break;
      }
      default:
        ASSERT_EQ(set.Append(text.c_str()), S_OK);
        model.push_back(text);
        break;
    }
    ASSERT_EQ(set.lineCount, static_cast<int32_t>(model.size()));
    if (step % 16 == 0) {
      ASSERT_EQ(Lines(set), model) << "step " << step;
    }
  }
}

TEST(QueryStringTest, DistinctFollowsAppendsAndClears) {
  tQueryString set;
  ASSERT_EQ(set.Append(" Abc|x "), S_OK);
  EXPECT_TRUE(set.ContainsEquivalent("\tabc|X"));
  set.Clear();
  EXPECT_FALSE(set.ContainsEquivalent("abc|x"));
  // 262,144 lines, every second one a repeat: linear, not quadratic.
  constexpr int kLines = 262144;
  int added = 0;
  for (int i = 0; i < kLines; ++i) {
    std::string line = "Parm" + std::to_string(i / 2) + (i % 2 ? "|RATE" : "|rate");
    if (set.ContainsEquivalent(line.c_str())) continue;
    ASSERT_EQ(set.Append(line.c_str()), S_OK);
    ++added;
  }
  EXPECT_EQ(added, kLines / 2);
  EXPECT_EQ(set.lineCount, kLines / 2);
}

TEST(QueryStringTest, SortByColumnAsTextAndNumber) {
  tQueryString set;
  for (const char* line : {"x|10|b", "y|9|a", "z|abc|c", "w|-5|d", "v|9.5|e"}) set.Append(line);
  ASSERT_EQ(set.SortByColumn(1, false), S_OK);
  EXPECT_EQ(Lines(set),
            (std::vector<std::string>{"w|-5|d", "z|abc|c", "y|9|a", "v|9.5|e", "x|10|b"}));
  ASSERT_EQ(set.SortByColumn(1, true), S_OK);
  EXPECT_EQ(Lines(set),
            (std::vector<std::string>{"w|-5|d", "x|10|b", "y|9|a", "v|9.5|e", "z|abc|c"}));

  // Letters fold to upper case ("_" lies between upper and lower case);
  // a key ends at the next '|'; shorter before longer.
  set.Clear();
  for (const char* line : {"_x", "ab|z", "B", "a", "Ab|a"}) set.Append(line);
  ASSERT_EQ(set.SortByColumn(0, true), S_OK);
  std::vector<std::string> sorted = Lines(set);
  EXPECT_EQ(sorted[0], "a");
  EXPECT_EQ(Key(sorted[1].substr(0, 2)), "AB");
  EXPECT_EQ(Key(sorted[2].substr(0, 2)), "AB");
  EXPECT_EQ(sorted[3], "B");
  EXPECT_EQ(sorted[4], "_x");
}

TEST(QueryStringTest, ShortLinesAreReportedAndSortByWholeLine) {
  testsupport::DebugCapture capture;
  tQueryString set;
  for (const char* line : {"k|b", "c", "k|a", "ab"}) set.Append(line);
  ASSERT_EQ(set.SortByColumn(1, true), S_OK);
  EXPECT_EQ(capture.messages(),
            std::vector<std::string>(
                2, "tQueryString: Sort algorithm attempted on non existant column... FIX!!!\n"));
  EXPECT_EQ(Lines(set), (std::vector<std::string>{"k|a", "ab", "k|b", "c"}));
}

TEST(QueryStringTest, ManyEqualKeysSortAndKeepEveryLine) {
  tQueryString set;
  constexpr int kLines = 200000;
  for (int i = 0; i < kLines; ++i) set.Append(("same|" + std::to_string(i)).c_str());
  ASSERT_EQ(set.SortByColumn(0, true), S_OK);
  ASSERT_EQ(set.SortByColumn(0, false), S_OK);
  std::vector<std::string> lines = Lines(set);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kLines));
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(std::unique(lines.begin(), lines.end()), lines.end());
  set.Append("after");  // the chain still ends where it should
  EXPECT_EQ(set.lineCount, kLines + 1);
  EXPECT_STREQ(set.LineAt(kLines), "after");
}

}  // namespace
