// The debug output's length limit and the guarded delete's reports.

#include "templatelib/DebugOut.h"

#include <gtest/gtest.h>

#include <string>

#include "support/DebugCapture.h"
#include "templatelib/GuardedDelete.h"

namespace {

TEST(DebugOut, FormatsAndPassesTheMessageOn) {
  testsupport::DebugCapture capture;
  DebugOut("tSqlQueryEngine: Query (%s) failed, unknown table (%s)\n", "select", "Nope");
  DebugOutW(L"wide %d %ls\n", 7, L"text");
  ASSERT_EQ(capture.messages().size(), 2u);
  EXPECT_EQ(capture.messages()[0],
            "tSqlQueryEngine: Query (select) failed, unknown table (Nope)\n");
  EXPECT_EQ(capture.messages()[1], "wide 7 text\n");
}

TEST(DebugOut, LongMessagesAreCutToFourThousandNinetyFiveCharacters) {
  testsupport::DebugCapture capture;
  std::string huge(10000, 'm');
  DebugOut("%s", huge.c_str());
  std::wstring wideHuge(10000, L'w');
  DebugOutW(L"%ls", wideHuge.c_str());
  std::string exact(4095, 'e');
  DebugOut("%s", exact.c_str());
  ASSERT_EQ(capture.messages().size(), 3u);
  EXPECT_EQ(capture.messages()[0], std::string(4095, 'm'));
  EXPECT_EQ(capture.messages()[1], std::string(4095, 'w'));
  EXPECT_EQ(capture.messages()[2], exact);
}

struct ThrowingObject {
  ~ThrowingObject() noexcept(false) { throw 42; }
};

struct CountingObject {
  static inline int destroyed = 0;
  ~CountingObject() { ++destroyed; }
};

TEST(GuardedDelete, FaultingDestructorIsReportedAndPassedOver) {
  testsupport::DebugCapture capture;
  GuardedDelete(new ThrowingObject);
  GuardedDelete(static_cast<ThrowingObject*>(nullptr));
  ASSERT_EQ(capture.messages().size(), 1u);
  EXPECT_EQ(capture.messages()[0], "Exception occured while deleting object!\n");
}

TEST(GuardedDelete, PlainObjectsAndArraysAreDestroyedQuietly) {
  testsupport::DebugCapture capture;
  CountingObject::destroyed = 0;
  GuardedDelete(new CountingObject);
  GuardedDeleteArray(new CountingObject[3]);
  EXPECT_EQ(CountingObject::destroyed, 4);
  EXPECT_TRUE(capture.messages().empty());
}

}  // namespace
