// tGenericContainer: append, removal with link reuse, iteration, ownership.

#include "templatelib/tGenericContainer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> Items(tGenericContainer<int>& list) {
  std::vector<int> seen;
  list.ResetCursor();
  while (int* item = list.Next()) seen.push_back(*item);
  return seen;
}

class ListTest : public ::testing::Test {
 protected:
  int values_[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  int* v(int i) { return &values_[i]; }
  tGenericContainer<int> list_;
};

TEST_F(ListTest, AppendKeepsOrderAndRefusesNull) {
  EXPECT_EQ(list_.Append(nullptr), E_POINTER);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(list_.Append(v(i)), S_OK);
  EXPECT_EQ(list_.Count(), 4);
  EXPECT_EQ(Items(list_), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(list_.Next(), nullptr) << "an exhausted cursor stays at the end";
}

TEST_F(ListTest, EmptyListIteratesNothing) {
  list_.ResetCursor();
  EXPECT_EQ(list_.Next(), nullptr);
  EXPECT_EQ(list_.RemoveItem(v(0), false, false), E_FAIL);
}

TEST_F(ListTest, RemovalFixesHeadAndTailAndReportsMisses) {
  for (int i = 0; i < 4; ++i) ASSERT_EQ(list_.Append(v(i)), S_OK);
  EXPECT_EQ(list_.RemoveItem(v(0), false, false), S_OK);
  EXPECT_EQ(list_.RemoveItem(v(3), false, false), S_OK);
  EXPECT_EQ(list_.Head(), v(1));
  EXPECT_EQ(list_.Tail(), v(2));
  EXPECT_EQ(list_.RemoveItem(v(7), false, false), E_FAIL);
  EXPECT_EQ(Items(list_), (std::vector<int>{1, 2}));
  ASSERT_EQ(list_.Append(v(5)), S_OK);
  EXPECT_EQ(Items(list_), (std::vector<int>{1, 2, 5}));
}

TEST_F(ListTest, FirstOrAllOccurrences) {
  for (int i : {1, 2, 1, 3, 1}) ASSERT_EQ(list_.Append(v(i)), S_OK);
  ASSERT_EQ(list_.RemoveItem(v(1), false, false), S_OK);
  EXPECT_EQ(Items(list_), (std::vector<int>{2, 1, 3, 1}));
  ASSERT_EQ(list_.RemoveItem(v(1), false, true), S_OK);
  EXPECT_EQ(Items(list_), (std::vector<int>{2, 3}));
  EXPECT_EQ(list_.Count(), 2);
}

TEST_F(ListTest, RemovedLinksAreReusedBeforeNewOnes) {
  for (int i = 0; i < 3; ++i) ASSERT_EQ(list_.Append(v(i)), S_OK);
  ASSERT_EQ(list_.RemoveItem(v(1), false, false), S_OK);
  ASSERT_EQ(list_.RemoveItem(v(0), false, false), S_OK);
  ASSERT_EQ(list_.RemoveItem(v(2), false, false), S_OK);
  EXPECT_EQ(list_.Count(), 0);
  EXPECT_EQ(Items(list_), std::vector<int>{}) << "parked links are never iterated";
  for (int i = 4; i < 8; ++i) ASSERT_EQ(list_.Append(v(i)), S_OK);
  EXPECT_EQ(Items(list_), (std::vector<int>{4, 5, 6, 7}));
  // Parked links and fresh ones are all freed by the destructor; the
  // sanitizer build reports any that are lost.
}

TEST_F(ListTest, RemovingTheItemUnderTheCursorKeepsTheIterationGoing) {
  for (int i = 0; i < 4; ++i) ASSERT_EQ(list_.Append(v(i)), S_OK);
  list_.ResetCursor();
  EXPECT_EQ(list_.Next(), v(0));
  ASSERT_EQ(list_.RemoveItem(v(1), false, false), S_OK);
  EXPECT_EQ(list_.Next(), v(2));
  EXPECT_EQ(list_.Next(), v(3));
  EXPECT_EQ(list_.Next(), nullptr);
}

TEST_F(ListTest, HoldMakesRemovalANoOp) {
  ASSERT_EQ(list_.Append(v(0)), S_OK);
  list_.SetHold(true);
  EXPECT_EQ(list_.RemoveItem(v(0), false, false), S_OK);
  EXPECT_EQ(list_.Count(), 1);
  list_.SetHold(false);
  EXPECT_EQ(list_.RemoveItem(v(0), false, false), S_OK);
  EXPECT_EQ(list_.Count(), 0);
}

TEST_F(ListTest, OutsideIteratorIsIndependentOfTheCursor) {
  for (int i = 0; i < 3; ++i) ASSERT_EQ(list_.Append(v(i)), S_OK);
  list_.ResetCursor();
  EXPECT_EQ(list_.Next(), v(0));
  tGenericContainerIterator<int> it(list_);
  EXPECT_EQ(it.Next(), v(0));
  EXPECT_EQ(it.Next(), v(1));
  EXPECT_EQ(list_.Next(), v(1));
  EXPECT_EQ(it.Next(), v(2));
  EXPECT_EQ(it.Next(), nullptr);
}

struct Counted {
  static inline int destroyed = 0;
  static inline int deletedByDeleter = 0;
  ~Counted() { ++destroyed; }
};

void CountingDeleter(Counted* item) {
  ++Counted::deletedByDeleter;
  delete item;
}

TEST(ListOwnership, OwningListDeletesItemsUpToTheTail) {
  Counted::destroyed = 0;
  {
    tGenericContainer<Counted> list(true);
    Counted* removed = new Counted;
    ASSERT_EQ(list.Append(new Counted), S_OK);
    ASSERT_EQ(list.Append(removed), S_OK);
    ASSERT_EQ(list.Append(new Counted), S_OK);
    ASSERT_EQ(list.RemoveItem(removed, true, false), S_OK);
    EXPECT_EQ(Counted::destroyed, 1);
  }
  EXPECT_EQ(Counted::destroyed, 3);
}

TEST(ListOwnership, ElementDeleterIsUsedWhenGiven) {
  Counted::destroyed = 0;
  Counted::deletedByDeleter = 0;
  {
    tGenericContainer<Counted> list(true, CountingDeleter);
    ASSERT_EQ(list.Append(new Counted), S_OK);
    ASSERT_EQ(list.Append(new Counted), S_OK);
  }
  EXPECT_EQ(Counted::deletedByDeleter, 2);
  EXPECT_EQ(Counted::destroyed, 2);
}

TEST(ListOwnership, LinksComeFromTheLinkQueueAndWaitingOnesAreFreed) {
  using Link = tGenericLink<int>;
  tLockedQueue<Link> links(8, false, false, false);
  Link* spare = new Link;
  Link* waiting = new Link;
  ASSERT_EQ(links.Push(spare), S_OK);
  ASSERT_EQ(links.Push(waiting), S_OK);
  int value = 5;
  {
    tGenericContainer<int> list(false, nullptr, &links);
    ASSERT_EQ(list.Append(&value), S_OK);
    EXPECT_EQ(links.Count(), 1) << "the first link came from the queue";
  }
  EXPECT_EQ(links.Count(), 0) << "destroying the list freed the waiting link too";
}

}  // namespace
