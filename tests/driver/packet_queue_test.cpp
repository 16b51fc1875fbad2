#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

#include "driver/PacketQueue.h"

namespace {

using driver::PacketQueue;
using Result = driver::PacketQueue::PushResult;

// A packet of `size` bytes whose first byte tells it apart.
driver::PacketBytes Packet(uint8_t id, int32_t size) {
  std::vector<uint8_t> bytes(static_cast<size_t>(size), 0);
  if (size > 0) bytes[0] = id;
  return driver::SharePacket(bytes.data(), size);
}

TEST(PacketQueueTest, AFullQueueRefusesThePacketThatWouldPassEitherLimitAndStaysAsItWas) {
  struct Case {
    const char* name;
    driver::QueueLimits limits;
    std::vector<int32_t> sizes;
    std::vector<Result> expected;
  };
  const Case cases[] = {
      {"packet limit", {2, 1000}, {10, 10, 10}, {Result::kQueued, Result::kQueued, Result::kFull}},
      {"byte limit exactly met",
       {10, 30},
       {10, 20, 1},
       {Result::kQueued, Result::kQueued, Result::kFull}},
      {"one packet larger than all bytes", {10, 30}, {31, 5}, {Result::kFull, Result::kQueued}},
      {"a refused large packet leaves room for a small one",
       {10, 30},
       {25, 10, 5},
       {Result::kQueued, Result::kFull, Result::kQueued}},
  };
  for (const Case& c : cases) {
    PacketQueue queue(c.limits);
    for (size_t i = 0; i < c.sizes.size(); ++i) {
      EXPECT_EQ(queue.Push(Packet(static_cast<uint8_t>(i), c.sizes[i]), 0), c.expected[i])
          << c.name << ", push " << i;
    }
  }
}

// How far behind: packets, bytes and the age of the oldest, on the
// caller's clock.
TEST(PacketQueueTest, TheBacklogCountsWhatWaitsAndHowLongTheOldestHasWaited) {
  PacketQueue queue({5, 1 << 20});
  EXPECT_EQ(queue.BacklogAt(7).oldestAgeNs, 0);
  ASSERT_EQ(queue.Push(Packet(1, 100), 1'000), Result::kQueued);
  ASSERT_EQ(queue.Push(Packet(2, 50), 4'000), Result::kQueued);
  driver::Backlog b = queue.BacklogAt(10'000);
  EXPECT_EQ(b.packets, 2);
  EXPECT_EQ(b.bytes, 150);
  EXPECT_EQ(b.oldestAgeNs, 9'000);
  EXPECT_EQ(queue.TryPop()->at(0), 1);
  b = queue.BacklogAt(10'000);
  EXPECT_EQ(b.bytes, 50);
  EXPECT_EQ(b.oldestAgeNs, 6'000);
}

TEST(PacketQueueTest, CloseHandsOutWhatIsQueuedAbortDropsIt) {
  PacketQueue closed({5, 1 << 20});
  closed.Push(Packet(1, 4), 0);
  closed.Push(Packet(2, 4), 0);
  closed.Close();
  EXPECT_EQ(closed.Push(Packet(3, 4), 0), Result::kClosed);
  EXPECT_EQ(closed.WaitPop()->at(0), 1);
  EXPECT_EQ(closed.WaitPop()->at(0), 2);
  EXPECT_EQ(closed.WaitPop(), nullptr);  // drained: does not wait

  PacketQueue aborted({5, 1 << 20});
  aborted.Push(Packet(1, 4), 0);
  aborted.Abort();
  EXPECT_EQ(aborted.Push(Packet(2, 4), 0), Result::kClosed);
  EXPECT_EQ(aborted.WaitPop(), nullptr);
  EXPECT_EQ(aborted.BacklogAt(0).bytes, 0);
}

// Random pushes and pops against a plain deque with the same limits.
TEST(PacketQueueTest, MatchesADequeModelOnRandomPushesAndPops) {
  std::mt19937 random(27);
  for (int round = 0; round < 50; ++round) {
    const driver::QueueLimits limits{1 + static_cast<int64_t>(random() % 8),
                                     16 + static_cast<int64_t>(random() % 200)};
    PacketQueue queue(limits);
    struct Model {
      uint8_t id;
      int32_t size;
      int64_t at;
    };
    std::deque<Model> model;
    int64_t now = 0;
    for (int step = 0; step < 200; ++step) {
      now += static_cast<int64_t>(random() % 1000);
      if (random() % 3 != 0) {
        const Model m{static_cast<uint8_t>(step), static_cast<int32_t>(1 + random() % 60), now};
        int64_t bytes = m.size;
        for (const Model& q : model) bytes += q.size;
        const bool fits =
            static_cast<int64_t>(model.size()) < limits.packets && bytes <= limits.bytes;
        ASSERT_EQ(queue.Push(Packet(m.id, m.size), now), fits ? Result::kQueued : Result::kFull)
            << "round " << round << " step " << step;
        if (fits) model.push_back(m);
      } else {
        driver::PacketBytes p = queue.TryPop();
        ASSERT_EQ(p == nullptr, model.empty());
        if (p) {
          EXPECT_EQ(p->at(0), model.front().id);
          EXPECT_EQ(static_cast<int32_t>(p->size()), model.front().size);
          model.pop_front();
        }
      }
      const driver::Backlog b = queue.BacklogAt(now);
      ASSERT_EQ(b.packets, static_cast<int64_t>(model.size()));
      ASSERT_EQ(b.oldestAgeNs, model.empty() ? 0 : now - model.front().at);
    }
  }
}

}  // namespace
