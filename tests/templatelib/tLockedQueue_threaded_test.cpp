// tLockedQueue between two threads: FIFO order across a producer and a
// consumer, a blocking pop that waits for the push, growth while wrapped.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "templatelib/tLockedQueue.h"

namespace {

constexpr int kItems = 20000;

TEST(LockedQueueThreads, ProducerAndBlockingConsumerKeepFifoOrderWhileGrowing) {
  std::vector<int> values(kItems);
  for (int i = 0; i < kItems; ++i) values[i] = i;
  // Small and growable: the ring wraps and grows many times under load.
  tLockedQueue<int> queue(3, true, true, false);
  std::vector<int> received;
  received.reserve(kItems);
  std::thread consumer([&] {
    while (int* item = queue.Pop()) received.push_back(*item);
  });
  for (int i = 0; i < kItems; ++i) ASSERT_EQ(queue.Push(&values[i]), S_OK);
  ASSERT_EQ(queue.Push(nullptr), S_OK);
  consumer.join();
  ASSERT_EQ(received.size(), static_cast<size_t>(kItems));
  for (int i = 0; i < kItems; ++i) ASSERT_EQ(received[i], i);
  EXPECT_EQ(queue.Count(), 0);
}

TEST(LockedQueueThreads, BlockingPopWaitsForAPushFromAnotherThread) {
  tLockedQueue<int> queue(4, true, false, false);
  int value = 7;
  std::atomic<bool> popped{false};
  int* result = nullptr;
  std::thread consumer([&] {
    result = queue.Pop();
    popped = true;
  });
  // The consumer cannot have returned: nothing was pushed yet.
  EXPECT_FALSE(popped.load());
  ASSERT_EQ(queue.Push(&value), S_OK);
  consumer.join();
  EXPECT_TRUE(popped.load());
  EXPECT_EQ(result, &value);
}

TEST(LockedQueueThreads, TwoProducersEachKeepTheirOwnOrder) {
  std::vector<int> values(2 * kItems);
  for (int i = 0; i < 2 * kItems; ++i) values[i] = i;
  tLockedQueue<int> queue(16, false, true, false);
  auto produce = [&](int from) {
    for (int i = from; i < from + kItems; ++i) ASSERT_EQ(queue.Push(&values[i]), S_OK);
  };
  std::thread first(produce, 0);
  std::thread second(produce, kItems);
  first.join();
  second.join();
  int lastLow = -1, lastHigh = kItems - 1, count = 0;
  while (int* item = queue.Pop()) {
    ++count;
    if (*item < kItems) {
      EXPECT_GT(*item, lastLow);
      lastLow = *item;
    } else {
      EXPECT_GT(*item, lastHigh);
      lastHigh = *item;
    }
  }
  EXPECT_EQ(count, 2 * kItems);
}

}  // namespace
