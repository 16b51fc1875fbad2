// Loading hostile configuration files: every limit fails the load with a
// message naming the line, and text the format ignores is named too.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Termination.h"
#include "support/ChildProcess.h"
#include "support/DebugCapture.h"
#include "templatelib/ConfigFileReader.h"
#include "templatelib/configfile_support.h"
#include "templatelib/tConfigSource.h"

namespace {

using configtest::FlatNode;
using configtest::Flatten;
using configtest::LoadText;

class HostileLoad : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  tConfigSource source;
  testsupport::DebugCapture capture;
};

TEST_F(HostileLoad, LimitsFailTheLoadNamingTheLine) {
  const std::string longRun(kMaxLineBytes + 1, 'x');
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"Root V1\n{\nA " + longRun + "\n}\n",
       "tConfigSource::LoadAttributesFromFile, line 3 is longer than 67108864 bytes. Illegal "
       "config file?\n"},
      {"Root V1 " + longRun,
       "tConfigSource::LoadAttributesFromFile, line 1 is longer than 67108864 bytes. Illegal "
       "config file?\n"},
      // Just under the limit still loads (the rest of the line is the value).
      {"Root V1\nA " + longRun.substr(0, kMaxLineBytes - 3) + "\n", ""},
  };
  for (const Case& c : cases) {
    const size_t before = capture.messages().size();
    tAttribute* root = LoadText(source, dir, c.text);
    const auto messages = capture.messages();
    if (c.message.empty()) {
      EXPECT_NE(root, nullptr);
      EXPECT_EQ(messages.size(), before);
      continue;
    }
    EXPECT_EQ(root, nullptr);
    ASSERT_EQ(messages.size(), before + 1);
    EXPECT_EQ(messages.back(), c.message);
  }
}

TEST_F(HostileLoad, OnlyRegularFilesAreRead) {
#ifdef _WIN32
  // A folder cannot be opened as a file there at all.
  for (const std::string& path : {std::string("NUL")}) {
#else
  for (const std::string& path : {std::string("/dev/zero"), dir.path()}) {
#endif
    EXPECT_EQ(source.LoadAttributesFromFile(path.c_str()), nullptr);
    ASSERT_FALSE(capture.messages().empty());
    EXPECT_EQ(capture.messages().back(),
              "tConfigSource::LoadAttributesFromFile, " + path + " is not a regular file\n");
  }
}

TEST_F(HostileLoad, TheNodeLimitCountsTheRootAndNamesTheLine) {
  const std::string text = "A 1\n{\nB 2\n}\nC 3\n";
  for (int64_t limit : {4, 3}) {
    tAttribute* root = tAttribute::CreateChild(nullptr, "Root", "V1", kRowUnchanged);
    BufferLineSource lines(text);
    configtext::BlockOutcome outcome = configtext::ParseBlocks(root, lines, limit);
    if (limit == 4) {
      EXPECT_EQ(outcome.result, configtext::BlockResult::kComplete);
    } else {
      EXPECT_EQ(outcome.result, configtext::BlockResult::kTooManyNodes);
      EXPECT_EQ(outcome.line, 5);
    }
    delete root;
  }
}

// The memory a load may take follows the input's size, and the largest real
// configuration (262,144 parameters: ~262,539 nodes in 46 MB of text, 3 MB
// zipped) stays inside it either way, while a small file of one-letter
// lines is refused long before its nodes pass the bound.
TEST(NodeBudget, TheLimitFollowsTheFileAndKeepsTheLargestRealConfiguration) {
  constexpr int64_t kMiB = int64_t{1} << 20;
  EXPECT_EQ(LoadBudgetBytes(0), 64 * kMiB);
  EXPECT_EQ(LoadBudgetBytes(kMiB), 128 * kMiB);
  EXPECT_EQ(LoadBudgetBytes(100 * kMiB), kMemoryCeilingBytes);
  EXPECT_EQ(LoadBudgetBytes(-1), kMemoryCeilingBytes);
  EXPECT_EQ(LoadBudgetBytes(INT64_MAX), kMemoryCeilingBytes);
  EXPECT_GE(NodeLimit(LoadBudgetBytes(46 * kMiB), 0), 262'539);
  EXPECT_GE(NodeLimit(LoadBudgetBytes(3 * kMiB), 46 * kMiB), 262'539);
  // A plain file of "a" lines holds size / 2 nodes: the tree stays within
  // its budget at every size.
  for (int64_t size : {int64_t{0}, kMiB, 10 * kMiB, 100 * kMiB}) {
    const int64_t nodes = std::min(size / 2, NodeLimit(LoadBudgetBytes(size), 0));
    EXPECT_LE(kLoadBaselineBytes + nodes * kBytesPerNode, LoadBudgetBytes(size)) << size;
  }
  EXPECT_EQ(NodeLimit(0, 0), 1);
  EXPECT_EQ(NodeLimit(INT64_MAX, 0), kMaxNodes);
}

TEST_F(HostileLoad, ATerminationRequestStopsTheLoad) {
  platform::InstallTerminationHandlers();
  std::string text = "Root V1\n{\n";
  for (int i = 0; i < 3 * kTerminationCheckLines; ++i) text += "N " + std::to_string(i) + "\n";
  text += "}\n";
  ASSERT_EQ(raise(SIGTERM), 0);
  tAttribute* root = LoadText(source, dir, text);
  platform::ResetTerminationRequest();
  EXPECT_EQ(root, nullptr);
  ASSERT_FALSE(capture.messages().empty());
  EXPECT_EQ(capture.messages().back(),
            "tConfigSource::LoadAttributesFromFile, stopped at line 4096: the process is "
            "ending\n");
  EXPECT_NE(LoadText(source, dir, text), nullptr);
}

TEST_F(HostileLoad, IgnoredTextIsNamedAndRemembered) {
  struct Case {
    std::string text;
    std::vector<FlatNode> tree;
    int64_t ignoredLine;
    std::string message;
  };
  const Case cases[] = {
      {"Root V1\n{\nA 1\n}\n}\nB 2\n",
       {{0, "Root", "V1"}, {1, "A", "1"}},
       6,
       "tConfigSource::LoadAttributesFromFile, the root block ends before line 6; the text from "
       "there on is ignored\n"},
      {"Root V1\r{\r   A 1\r}\r",
       {{0, "Root", "V1"}},
       1,
       "tConfigSource::LoadAttributesFromFile, line 1 (the root line) holds carriage returns "
       "inside it; everything after its second word is ignored\n"},
      // Blank lines after the end, and CR LF line ends, hide nothing.
      {"Root V1\r\n{\r\nA 1\r\n}\r\n \r\n\t\n", {{0, "Root", "V1"}, {1, "A", "1"}}, 0, ""},
  };
  for (const Case& c : cases) {
    const size_t before = capture.messages().size();
    ASSERT_NE(LoadText(source, dir, c.text), nullptr) << c.text;
    EXPECT_EQ(Flatten(source.Root()), c.tree);
    EXPECT_EQ(source.IgnoredTextLine(), c.ignoredLine) << c.text;
    const auto messages = capture.messages();
    if (c.message.empty()) {
      EXPECT_EQ(messages.size(), before);
    } else {
      ASSERT_EQ(messages.size(), before + 1);
      EXPECT_EQ(messages.back(), c.message);
    }
  }
}

}  // namespace
