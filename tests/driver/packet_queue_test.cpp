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

// Random pushes and pops against a plain deque with the same limits: a
// push that would pass either limit is refused and changes nothing, order is
// kept, and the backlog's age is the oldest packet's on the caller's clock.
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
