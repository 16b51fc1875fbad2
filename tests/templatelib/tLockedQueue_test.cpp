// tLockedQueue on one thread: ring indexes, full and growing queues, and
// what destruction does with the items left.

#include "templatelib/tLockedQueue.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/DebugCapture.h"

namespace {

class QueueTest : public ::testing::Test {
 protected:
  // Distinct addresses to push; their values tell the order.
  int items_[2000] = {};
  void SetUp() override {
    for (int i = 0; i < 2000; ++i) items_[i] = i;
  }
  int* item(int i) { return &items_[i]; }
};

TEST_F(QueueTest, FullNonGrowableQueueRefusesAndStaysUnchanged) {
  tLockedQueue<int> queue(3, false, false, false);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(queue.Push(item(i)), S_OK);
  EXPECT_EQ(queue.Push(item(3)), E_FAIL);
  EXPECT_EQ(queue.Count(), 3);
  EXPECT_EQ(queue.Capacity(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(queue.Pop(), item(i));
  EXPECT_EQ(queue.Pop(), nullptr) << "non-blocking pop of an empty queue";
}

TEST_F(QueueTest, PoppingTheLastItemLeavesReadOnItsSlot) {
  tLockedQueue<int> queue(4, false, false, false);
  ASSERT_EQ(queue.Push(item(0)), S_OK);
  ASSERT_EQ(queue.Push(item(1)), S_OK);
  EXPECT_EQ(queue.Pop(), item(0));
  EXPECT_EQ(queue.ReadIndex(), 1);
  EXPECT_EQ(queue.Pop(), item(1));
  EXPECT_EQ(queue.ReadIndex(), 1) << "read does not advance past the last item";
  EXPECT_EQ(queue.HeadIndex(), 1);
  ASSERT_EQ(queue.Push(item(2)), S_OK);
  EXPECT_EQ(queue.HeadIndex(), 1) << "the next push fills the same slot";
  EXPECT_EQ(queue.Pop(), item(2));
}

TEST_F(QueueTest, WrappedQueueGrowsByFiveHundredTwelveAndKeepsFifoOrder) {
  tLockedQueue<int> queue(4, false, true, false);
  // Wrap the ring: read ends up in the middle, head before it.
  for (int i = 0; i < 4; ++i) ASSERT_EQ(queue.Push(item(i)), S_OK);
  EXPECT_EQ(queue.Pop(), item(0));
  EXPECT_EQ(queue.Pop(), item(1));
  ASSERT_EQ(queue.Push(item(4)), S_OK);
  ASSERT_EQ(queue.Push(item(5)), S_OK);
  EXPECT_EQ(queue.HeadIndex(), 1);
  EXPECT_EQ(queue.ReadIndex(), 2);
  ASSERT_EQ(queue.Push(item(6)), S_OK);  // full: grows
  EXPECT_EQ(queue.Capacity(), 516);
  EXPECT_EQ(queue.ReadIndex(), 514);
  for (int i = 7; i < 600; ++i) ASSERT_EQ(queue.Push(item(i)), S_OK);
  EXPECT_EQ(queue.Capacity(), 1028);
  for (int i = 2; i < 600; ++i) ASSERT_EQ(queue.Pop(), item(i)) << i;
  EXPECT_EQ(queue.Count(), 0);
}

TEST_F(QueueTest, UnwrappedQueueGrowsInPlace) {
  tLockedQueue<int> queue(2, false, true, false);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(queue.Push(item(i)), S_OK);
  EXPECT_EQ(queue.Capacity(), 514);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(queue.Pop(), item(i));
}

TEST_F(QueueTest, OneSlotQueueGrowsWithoutLosingOrDuplicatingItsItem) {
  tLockedQueue<int> queue(1, false, true, false);
  ASSERT_EQ(queue.Push(item(0)), S_OK);
  ASSERT_EQ(queue.Push(item(1)), S_OK);
  ASSERT_EQ(queue.Push(item(2)), S_OK);
  EXPECT_EQ(queue.Pop(), item(0));
  EXPECT_EQ(queue.Pop(), item(1));
  EXPECT_EQ(queue.Pop(), item(2));
  EXPECT_EQ(queue.Pop(), nullptr);
  EXPECT_EQ(queue.Count(), 0);
}

TEST_F(QueueTest, CapacityBelowOneStillMakesAUsableRing) {
  tLockedQueue<int> queue(0, false, false, false);
  EXPECT_EQ(queue.Capacity(), 1);
  ASSERT_EQ(queue.Push(item(9)), S_OK);
  EXPECT_EQ(queue.Push(item(8)), E_FAIL);
  EXPECT_EQ(queue.Pop(), item(9));
}

TEST_F(QueueTest, BlockingPopReturnsWhatWasPushedBefore) {
  tLockedQueue<int> queue(2, true, true, false);
  ASSERT_EQ(queue.Push(item(1)), S_OK);
  ASSERT_EQ(queue.Push(nullptr), S_OK);  // the stop request of the deleter threads
  ASSERT_EQ(queue.Push(item(2)), S_OK);
  EXPECT_EQ(queue.Pop(), item(1));
  EXPECT_EQ(queue.Pop(), nullptr);
  EXPECT_EQ(queue.Pop(), item(2));
}

TEST_F(QueueTest, TryPopNeverWaitsAndKeepsABlockingQueueConsistent) {
  tLockedQueue<int> queue(2, true, false, false);
  EXPECT_EQ(queue.TryPop(), nullptr);
  ASSERT_EQ(queue.Push(item(1)), S_OK);
  ASSERT_EQ(queue.Push(item(2)), S_OK);
  EXPECT_EQ(queue.TryPop(), item(1));
  EXPECT_EQ(queue.Pop(), item(2)) << "the blocking pop still finds its item";
  EXPECT_EQ(queue.TryPop(), nullptr);
}

struct Tracked {
  static inline int destroyed = 0;
  ~Tracked() { ++destroyed; }
};

struct Faulting {
  ~Faulting() noexcept(false) { throw 1; }
};

TEST(QueueOwnership, DestroyDeletesOwnedItemsOnly) {
  Tracked::destroyed = 0;
  {
    tLockedQueue<Tracked> owning(2, false, true);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(owning.Push(new Tracked), S_OK);
  }
  EXPECT_EQ(Tracked::destroyed, 3);
  Tracked kept[2];
  {
    tLockedQueue<Tracked> borrowing(2, false, false, false);
    ASSERT_EQ(borrowing.Push(&kept[0]), S_OK);
    ASSERT_EQ(borrowing.Push(&kept[1]), S_OK);
  }
  EXPECT_EQ(Tracked::destroyed, 3);
  Tracked::destroyed = 0;
  {
    tLockedQueue<Tracked> arrays(2, false, false, true, true);
    ASSERT_EQ(arrays.Push(new Tracked[4]), S_OK);
  }
  EXPECT_EQ(Tracked::destroyed, 4);
}

TEST(QueueOwnership, FaultingItemIsReportedAndTheRestStillDeleted) {
  testsupport::DebugCapture capture;
  Tracked::destroyed = 0;
  {
    tLockedQueue<Faulting> faulting(2, false, false);
    ASSERT_EQ(faulting.Push(new Faulting), S_OK);
  }
  {
    tLockedQueue<Tracked> owning(2, false, false);
    ASSERT_EQ(owning.Push(new Tracked), S_OK);
  }
  EXPECT_EQ(Tracked::destroyed, 1);
  ASSERT_EQ(capture.messages().size(), 1u);
  EXPECT_EQ(capture.messages()[0], "Exception occured while deleting object!\n");
}

}  // namespace
