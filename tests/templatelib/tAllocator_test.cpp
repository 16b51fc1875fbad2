// tAllocator on the calling thread: take, recycle, the created count and
// the free queue's limit, against a model of the free queue. The deleter thread is exercised in
// tAllocator_threaded_test.cpp.

#include "templatelib/tAllocator.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <deque>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "templatelib/tHash.h"

namespace {

struct Node {
  static inline int destroyed = 0;
  int payload;  // value-initialised: a fresh node starts at 0
  int reused = 0;
  void ResetForReuse() { ++reused; }
  ~Node() { ++destroyed; }
};

// What a node the test holds or the pool keeps should look like.
struct NodeState {
  int payload;
  int reused;
};

// Random takes and returns on one thread against a model of the free queue,
// a FIFO of at most its capacity: a recycled node comes back before a new
// one, in order, as it was left but reset for reuse; a node the full queue
// cannot take is destroyed at once; the pool destroys what its queue still
// holds, and nothing twice.
TEST(tAllocator, RandomTakesAndReturnsMatchAFifoModel) {
  constexpr int32_t kFreeSlots = 4;
  Node::destroyed = 0;
  int64_t created = 0;
  int destroyedAtOnce = 0, reusedTakes = 0;
  {
    tAllocator<Node> pool(kFreeSlots);
    std::deque<Node*> freeQueue;
    std::vector<Node*> held;
    std::map<Node*, NodeState> states;
    std::mt19937 random(20261210);
    for (int step = 0; step < 4000; ++step) {
      SCOPED_TRACE("step " + std::to_string(step));
      if (held.empty() || random() % 2 == 0) {
        Node* node = pool.Take();
        ASSERT_NE(node, nullptr);
        if (freeQueue.empty()) {
          ++created;
          ASSERT_EQ(node->payload, 0) << "a fresh node is value-initialised";
          ASSERT_EQ(node->reused, 0);
          states[node] = {0, 0};
        } else {
          ASSERT_EQ(node, freeQueue.front()) << "recycled nodes come back first, oldest first";
          freeQueue.pop_front();
          ++states[node].reused;
          ++reusedTakes;
        }
        ASSERT_EQ(node->payload, states[node].payload) << "as it was left";
        ASSERT_EQ(node->reused, states[node].reused) << "reset once per reuse";
        node->payload = states[node].payload = step + 1;
        held.push_back(node);
      } else {
        const size_t index = random() % held.size();
        Node* node = held[index];
        held.erase(held.begin() + static_cast<std::ptrdiff_t>(index));
        const bool full = static_cast<int32_t>(freeQueue.size()) == kFreeSlots;
        // Recycle into a full queue would defer to the deleter thread, which
        // tAllocator_threaded_test.cpp covers.
        const bool recycle = !full && random() % 2 == 0;
        ASSERT_EQ(recycle ? pool.Recycle(node) : pool.RecycleOrDelete(node), S_OK);
        if (full) {
          states.erase(node);  // its address may come back for a new node
          ++destroyedAtOnce;
        } else {
          freeQueue.push_back(node);
        }
      }
      ASSERT_EQ(pool.CreatedCount(), created);
      ASSERT_EQ(pool.FreeCount(), static_cast<int32_t>(freeQueue.size()));
      ASSERT_EQ(Node::destroyed, destroyedAtOnce);
    }
    EXPECT_EQ(pool.DeferredCount(), 0);
    EXPECT_FALSE(pool.DeleterRunning()) << "no thread for a plain recycle";
    for (Node* node : held) ASSERT_EQ(pool.RecycleOrDelete(node), S_OK);
  }
  EXPECT_EQ(Node::destroyed, created) << "every node destroyed once, the kept ones by the pool";
  EXPECT_GT(destroyedAtOnce, 0);
  EXPECT_GT(reusedTakes, 0);
}

TEST(tAllocator, NullNodesAreRefused) {
  tAllocator<Node> pool(4);
  EXPECT_EQ(pool.Recycle(nullptr), E_POINTER);
  EXPECT_EQ(pool.RecycleOrDelete(nullptr), E_POINTER);
  EXPECT_EQ(pool.DeferDelete(nullptr), E_POINTER);
  EXPECT_FALSE(pool.DeleterRunning());
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
