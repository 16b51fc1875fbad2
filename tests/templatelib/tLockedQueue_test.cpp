// tLockedQueue on one thread: a deque as the model of random pushes and
// pops in every mode, with the ring's index rules checked at each step; and
// what destruction does with the items left.

#include "templatelib/tLockedQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "support/DebugCapture.h"

namespace {

struct QueueMode {
  int32_t capacity;
  bool blocking;
  bool growable;
};

std::string ModeName(const ::testing::TestParamInfo<QueueMode>& info) {
  return "Capacity" + std::to_string(info.param.capacity) +
         (info.param.blocking ? "Blocking" : "Polling") +
         (info.param.growable ? "Growable" : "Fixed");
}

class QueueModelTest : public ::testing::TestWithParam<QueueMode> {};

// Long phases of mostly pushes and mostly pops, so that the ring fills,
// wraps, refuses or grows (past a thousand slots), and drains again.
constexpr int kSteps = 4000;
constexpr int kPhaseSteps = 1000;

TEST_P(QueueModelTest, RandomPushesAndPopsMatchADeque) {
  const QueueMode mode = GetParam();
  std::vector<int> values(kSteps);
  tLockedQueue<int> queue(mode.capacity, mode.blocking, mode.growable, false);
  std::deque<int*> model;
  // A ring below one slot has no next slot: it gets one.
  int32_t capacity = std::max<int32_t>(mode.capacity, 1);
  int refused = 0, wrappedGrowths = 0, flatGrowths = 0, lastPops = 0;
  std::mt19937 random(20261210);
  for (int step = 0; step < kSteps; ++step) {
    SCOPED_TRACE("step " + std::to_string(step) + ", " + std::to_string(model.size()) + " queued");
    const int32_t read = queue.ReadIndex();
    const int32_t head = queue.HeadIndex();
    const uint32_t roll = random() % 100;
    const bool filling = (step / kPhaseSteps) % 2 == 0;
    if (roll < (filling ? 85u : 25u)) {
      // A null may be queued: the deleter threads' stop request is one.
      int* item = roll % 16 == 0 ? nullptr : &values[step];
      const bool full = static_cast<int32_t>(model.size()) == capacity;
      if (full && !mode.growable) {
        ASSERT_EQ(queue.Push(item), E_FAIL);
        ASSERT_EQ(queue.ReadIndex(), read) << "a refused push changes nothing";
        ASSERT_EQ(queue.HeadIndex(), head);
        ++refused;
      } else {
        ASSERT_EQ(queue.Push(item), S_OK);
        model.push_back(item);
        if (full) {
          capacity += kLockedQueueGrowthSlots;
          ++(read > head ? wrappedGrowths : flatGrowths);
        } else {
          ASSERT_EQ(queue.ReadIndex(), read) << "a push moves read only when the ring grows";
        }
      }
    } else {
      // A blocking pop on an empty queue would wait: TryPop then.
      const bool tryPop = roll % 2 == 0 || (mode.blocking && model.empty());
      int* expected = model.empty() ? nullptr : model.front();
      ASSERT_EQ(tryPop ? queue.TryPop() : queue.Pop(), expected) << (tryPop ? "TryPop" : "Pop");
      if (!model.empty()) {
        model.pop_front();
        if (model.empty()) {
          ASSERT_EQ(queue.ReadIndex(), read) << "popping the last item leaves read on its slot";
          ++lastPops;
        } else {
          ASSERT_EQ(queue.ReadIndex(), (read + 1) % capacity);
        }
      }
    }
    ASSERT_EQ(queue.Count(), static_cast<int32_t>(model.size()));
    ASSERT_EQ(queue.Capacity(), capacity);
    const int32_t newRead = queue.ReadIndex();
    const int32_t newHead = queue.HeadIndex();
    ASSERT_TRUE(newRead >= 0 && newRead < capacity && newHead >= 0 && newHead < capacity);
    // The items sit on consecutive slots from read to head, also across the
    // ring's end and after growth; so the next push after the queue empties
    // fills the slot read stayed on.
    if (!model.empty()) {
      ASSERT_EQ((newHead - newRead + capacity) % capacity, static_cast<int32_t>(model.size()) - 1);
    }
  }
  while (!model.empty()) {
    ASSERT_EQ(queue.TryPop(), model.front());
    model.pop_front();
  }
  EXPECT_EQ(queue.TryPop(), nullptr);
  EXPECT_EQ(queue.Count(), 0);
  // The sequence reached the cases the rules are about.
  EXPECT_GT(lastPops, 0);
  if (!mode.growable) {
    EXPECT_GT(refused, 0);
  } else {
    EXPECT_GT(flatGrowths, 0);
    if (mode.capacity >= 2) {
      EXPECT_GT(wrappedGrowths, 0);
    }
    EXPECT_GT(capacity, 1024) << "grown more than once";
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, QueueModelTest,
                         ::testing::Values(QueueMode{0, false, false}, QueueMode{1, false, true},
                                           QueueMode{1, true, false}, QueueMode{2, false, true},
                                           QueueMode{2, true, true}, QueueMode{3, false, false},
                                           QueueMode{4, true, false}, QueueMode{4, false, true}),
                         ModeName);

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
