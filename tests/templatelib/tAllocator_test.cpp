// tAllocator on the calling thread: take, recycle, the created count and
// the free queue's limit. The deleter thread is exercised in
// tAllocator_threaded_test.cpp.

#include "templatelib/tAllocator.h"

#include <gtest/gtest.h>

#include "templatelib/tHash.h"

namespace {

struct Node {
  int payload;  // value-initialised: a fresh node starts at 0
  int reused = 0;
  void ResetForReuse() { ++reused; }
};

TEST(tAllocator, TakesFromTheHeapWhenTheFreeQueueIsEmpty) {
  tAllocator<Node> pool(4);
  Node* a = pool.Take();
  Node* b = pool.Take();
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a->payload, 0);
  EXPECT_EQ(pool.CreatedCount(), 2);
  a->payload = 42;
  ASSERT_EQ(pool.Recycle(a), S_OK);
  EXPECT_EQ(pool.FreeCount(), 1);
  Node* again = pool.Take();
  EXPECT_EQ(again, a) << "a recycled node is handed out before a new one";
  EXPECT_EQ(again->reused, 1) << "and reset for reuse";
  EXPECT_EQ(pool.CreatedCount(), 2);
  EXPECT_EQ(pool.Recycle(nullptr), E_POINTER);
  EXPECT_EQ(pool.DeferDelete(nullptr), E_POINTER);
  ASSERT_EQ(pool.Recycle(again), S_OK);
  ASSERT_EQ(pool.Recycle(b), S_OK);
  // The pool deletes what its free queue still holds.
}

TEST(tAllocator, RecycleOrDeleteDestroysWhatTheFullFreeQueueCannotTake) {
  tAllocator<Node> pool(2);
  Node* nodes[3] = {pool.Take(), pool.Take(), pool.Take()};
  for (Node* node : nodes) ASSERT_EQ(pool.RecycleOrDelete(node), S_OK);
  EXPECT_EQ(pool.FreeCount(), 2);
  EXPECT_EQ(pool.DeferredCount(), 0);
  EXPECT_FALSE(pool.DeleterRunning()) << "no thread for a plain recycle";
}

TEST(tAllocator, HashNodesReturnToTheProcessPool) {
  tAllocator<tHashNode>& pool = HashNodePool();
  EXPECT_EQ(&pool, &ProcessWidePool<tHashNode>());
  int32_t freeBefore = pool.FreeCount();
  {
    tHash hash;
    ASSERT_EQ(hash.Size(4), S_OK);
    int value = 0;
    ASSERT_EQ(hash.Add("a", &value, false, false, nullptr), S_OK);
    ASSERT_EQ(hash.Add("b", &value, false, false, nullptr), S_OK);
  }
  // Earlier users of the process-wide pool may have left nodes on its free
  // queue; the two adds take from there first.
  const int32_t taken = freeBefore < 2 ? freeBefore : 2;
  const int32_t expected = freeBefore - taken + 2;
  EXPECT_EQ(pool.FreeCount(),
            expected > kPoolFreeQueueCapacity ? kPoolFreeQueueCapacity : expected);
}

}  // namespace
