// The fault script parser on a table of good and bad lines, and the
// timeline that hands events out once per transfer.
#include <gtest/gtest.h>

#include <string>

#include "io/FaultScript.h"
#include "support/ChildProcess.h"

namespace {

using io::FaultAction;

TEST(FaultScript, ReadsEveryActionAndKeepsTimeOrder) {
  io::FaultScript script;
  ASSERT_TRUE(io::ParseFaultScript("# a comment\n"
                                   "\n"
                                   "  2.5 drop 3   # trailing comments are comments\r\n"
                                   "1 DUPLICATE 2\n"
                                   "2.5 corrupt\n"
                                   "3 truncate 100\n"
                                   "0.25 stall 40\n"
                                   "4 disconnect\n"
                                   "5 timejump -1.5\n",
                                   &script)
                  .ok());
  ASSERT_EQ(script.events.size(), 7u);
  const struct {
    int64_t atNs;
    FaultAction action;
    int64_t count;
    int32_t line;
    const char* text;
  } expected[] = {
      {250000000, FaultAction::kStall, 40, 7, "0.25 stall 40"},
      {1000000000, FaultAction::kDuplicate, 2, 4, "1 DUPLICATE 2"},
      {2500000000, FaultAction::kDrop, 3, 3, "2.5 drop 3"},  // same time: file order
      {2500000000, FaultAction::kCorrupt, 0, 5, "2.5 corrupt"},
      {3000000000, FaultAction::kTruncate, 100, 6, "3 truncate 100"},
      {4000000000, FaultAction::kDisconnect, 0, 8, "4 disconnect"},
      {5000000000, FaultAction::kTimeJump, 0, 9, "5 timejump -1.5"},
  };
  for (size_t i = 0; i < script.events.size(); ++i) {
    SCOPED_TRACE(expected[i].text);
    EXPECT_EQ(script.events[i].atNs, expected[i].atNs);
    EXPECT_EQ(script.events[i].action, expected[i].action);
    EXPECT_EQ(script.events[i].count, expected[i].count);
    EXPECT_EQ(script.events[i].line, expected[i].line);
    EXPECT_EQ(script.events[i].text, expected[i].text);
  }
  EXPECT_DOUBLE_EQ(script.events[6].seconds, -1.5);
}

TEST(FaultScript, NamesTheLineAndTheFaultOfABadScript) {
  const std::pair<const char*, const char*> cases[] = {
      {"\n1 drop 0\n", "line 2: drop needs one argument: a number of packets from 1 to 1000000"},
      {"1 drop 2x\n", "line 1: drop needs one argument: a number of packets from 1 to 1000000"},
      {"1 corrupt 3\n", "line 1: corrupt takes no argument, found '3'"},
      {"1 drop\n",
       "line 1: drop needs one argument: a number of packets from 1 to 1000000, found "
       "none"},
      {"1 drop 2 more # a comment\n",
       "line 1: drop needs one argument: a number of packets from 1 to 1000000, found '2 more'"},
      {"-1 corrupt\n", "line 1: '-1' is not a time in seconds from 0 to 1000000000"},
      {"nan corrupt\n", "line 1: 'nan' is not a time in seconds from 0 to 1000000000"},
      {"soon corrupt\n", "line 1: 'soon' is not a time in seconds from 0 to 1000000000"},
      {"0x10 corrupt\n", "line 1: '0x10' is not a time in seconds from 0 to 1000000000"},
      {"3\n", "line 1: no action after the time"},
      {"3 explode\n",
       "line 1: unknown action 'explode' (drop, duplicate, corrupt, truncate, stall, disconnect, "
       "timejump)"},
      {"3 stall 3600001\n", "line 1: stall needs one argument: milliseconds from 1 to 3600000"},
      {"3 timejump inf\n",
       "line 1: timejump needs one argument: seconds, a decimal of at most 10000000 either way"},
  };
  for (const auto& [text, message] : cases) {
    io::FaultScript script;
    EXPECT_EQ(io::ParseFaultScript(text, &script).message(), message);
  }
  testsupport::TempDir dir;
  io::FaultScript script;
  EXPECT_EQ(io::LoadFaultScript(dir.path(), &script).message(), "is a folder, not a file");
  EXPECT_EQ(io::LoadFaultScript(dir.file("missing"), &script).message(), "does not exist");
}

TEST(FaultScript, TimelineHandsOutEachEventOnceWhenDue) {
  io::FaultScript script;
  ASSERT_TRUE(io::ParseFaultScript("1 corrupt\n1 drop 1\n2 disconnect\n", &script).ok());
  for (int transfer = 0; transfer < 2; ++transfer) {
    io::FaultTimeline timeline(&script);
    EXPECT_EQ(timeline.NextDue(999999999), nullptr);
    EXPECT_EQ(timeline.NextAtNs(), 1000000000);
    const io::FaultEvent* first = timeline.NextDue(1500000000);
    const io::FaultEvent* second = timeline.NextDue(1500000000);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->action, FaultAction::kCorrupt);
    EXPECT_EQ(second->action, FaultAction::kDrop);
    EXPECT_EQ(timeline.NextDue(1500000000), nullptr);
    EXPECT_EQ(timeline.NextDue(INT64_MAX)->action, FaultAction::kDisconnect);
    EXPECT_EQ(timeline.NextAtNs(), -1);
  }
}

}  // namespace
