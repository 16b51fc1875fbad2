// tString: the line reader around its buffer's growth points, and the file
// test.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "templatelib/tString.h"

namespace {

// A temporary stream holding `content`, rewound, closed on scope exit.
class StreamWith {
 public:
  explicit StreamWith(const std::string& content) : file_(std::tmpfile()) {
    if (file_ != nullptr) {
      std::fwrite(content.data(), 1, content.size(), file_);
      std::rewind(file_);
    }
  }
  ~StreamWith() {
    if (file_ != nullptr) std::fclose(file_);
  }
  StreamWith(const StreamWith&) = delete;
  StreamWith& operator=(const StreamWith&) = delete;
  std::FILE* get() const { return file_; }

 private:
  std::FILE* file_;
};

std::vector<std::string> ReadAllLines(std::FILE* stream) {
  std::vector<std::string> lines;
  tString line;
  while (line.ReadLine(stream) != nullptr) lines.emplace_back(line.Text());
  return lines;
}

struct LinesCase {
  std::string name;
  std::string content;
  std::vector<std::string> lines;  // line feeds kept
};

// Line lengths around the points where the 200-byte buffer is full and
// doubles (199 characters fill it, 398 more fill the 400-byte one, ...),
// as a terminated line and as a last line without a line feed.
std::vector<LinesCase> LinesCases() {
  std::vector<size_t> lengths = {0, 1, 2};
  for (size_t full : {199u, 399u, 799u, 1599u}) {
    for (size_t delta = 0; delta < 5; ++delta) lengths.push_back(full - 2 + delta);
  }
  std::vector<LinesCase> cases;
  for (size_t length : lengths) {
    const std::string body(length, 'a');
    cases.push_back({"terminated line of " + std::to_string(length),
                     body + "\nnext\n",
                     {body + "\n", "next\n"}});
    if (length > 0) {  // an empty last line is no line
      cases.push_back({"unterminated last line of " + std::to_string(length),
                       "first\n" + body,
                       {"first\n", body}});
    }
  }
  cases.push_back(
      {"carriage returns and high bytes kept", "a\xff\r\n\xff\n", {"a\xff\r\n", "\xff\n"}});
  cases.push_back({"empty stream", "", {}});
  return cases;
}

TEST(tStringReadLine, EveryLineWholeAndNothingMore) {
  for (const LinesCase& c : LinesCases()) {
    SCOPED_TRACE(c.name);
    StreamWith stream(c.content);
    ASSERT_NE(stream.get(), nullptr);
    EXPECT_EQ(ReadAllLines(stream.get()), c.lines);
  }
}

TEST(tStringReadLine, BufferStartsAtTwoHundredAndDoubles) {
  StreamWith stream(std::string(450, 'b') + "\n");
  tString line;
  ASSERT_NE(line.ReadLine(stream.get()), nullptr);
  EXPECT_EQ(line.Capacity(), 800);
  EXPECT_EQ(line.Length(), 451);
  EXPECT_EQ(line.ReadLine(stream.get()), nullptr) << "end of file";
}

TEST(tStringReadLine, NullStreamGivesNoLine) {
  tString line;
  EXPECT_EQ(line.ReadLine(nullptr), nullptr);
}

TEST(tStringFileExists, FilesFoldersAndMissingNames) {
  testsupport::TempDir dir;
  std::string file = dir.file("present.txt");
  testsupport::WriteWholeFile(file, "x");
  std::string empty = dir.file("empty.txt");
  testsupport::WriteWholeFile(empty, "");
  EXPECT_TRUE(tString::FileExists(file.c_str()));
  EXPECT_TRUE(tString::FileExists(empty.c_str()));
  EXPECT_FALSE(tString::FileExists(dir.path().c_str())) << "a folder is not a file";
  EXPECT_FALSE(tString::FileExists(dir.file("missing.txt").c_str()));
  EXPECT_FALSE(tString::FileExists(""));
  EXPECT_FALSE(tString::FileExists(nullptr));
}

}  // namespace
