// tAllocator's deleter thread and the thread registry: deferred nodes are
// destroyed on the deleter, faults are reported and passed over, and
// stopping joins every thread.

#include <gtest/gtest.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <thread>

#include "support/DebugCapture.h"
#include "templatelib/tAllocator.h"
#include "templatelib/tThreadRegistry.h"

namespace {

struct Subtree {
  static inline std::atomic<int> destroyed{0};
  static inline std::atomic<bool> onOtherThread{false};
  static inline std::thread::id mainThread;
  bool fault = false;
  ~Subtree() noexcept(false) {
    ++destroyed;
    if (std::this_thread::get_id() != mainThread) onOtherThread = true;
    if (fault) throw 3;
  }
};

class DeleterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Subtree::destroyed = 0;
    Subtree::onOtherThread = false;
    Subtree::mainThread = std::this_thread::get_id();
  }
};

TEST_F(DeleterTest, DeferredNodesAreDestroyedOnTheDeleterThread) {
  tAllocator<Subtree> pool(8);
  EXPECT_FALSE(pool.DeleterRunning());
  for (int i = 0; i < 20; ++i) ASSERT_EQ(pool.DeferDelete(pool.Take()), S_OK);
  EXPECT_TRUE(pool.DeleterRunning()) << "started by the first deferred delete";
  // Stopping waits for everything deferred before the stop request.
  pool.StopDeleter();
  EXPECT_FALSE(pool.DeleterRunning());
  EXPECT_EQ(Subtree::destroyed.load(), 20);
  EXPECT_TRUE(Subtree::onOtherThread.load());
  // The next deferred delete starts a new deleter.
  ASSERT_EQ(pool.DeferDelete(pool.Take()), S_OK);
  EXPECT_TRUE(pool.DeleterRunning());
  pool.StopDeleter();
  EXPECT_EQ(Subtree::destroyed.load(), 21);
}

TEST_F(DeleterTest, FaultingDestructorIsReportedWithTheAddressAndTheDeleterGoesOn) {
  testsupport::DebugCapture capture;
  tAllocator<Subtree> pool(8);
  Subtree* bad = pool.Take();
  bad->fault = true;
  char expected[128];
  std::snprintf(expected, sizeof expected,
                "tAllocator: Exception occured while deleting a single element at x%" PRIx64 "!\n",
                static_cast<uint64_t>(reinterpret_cast<uintptr_t>(bad)));
  ASSERT_EQ(pool.DeferDelete(bad), S_OK);
  ASSERT_EQ(pool.DeferDelete(pool.Take()), S_OK);
  pool.StopDeleter();
  EXPECT_EQ(Subtree::destroyed.load(), 2);
  ASSERT_EQ(capture.messages().size(), 1u);
  EXPECT_EQ(capture.messages()[0], expected);
}

TEST_F(DeleterTest, RecycleIntoAFullFreeQueueDefers) {
  tAllocator<Subtree> pool(2);
  Subtree* nodes[3] = {pool.Take(), pool.Take(), pool.Take()};
  for (Subtree* node : nodes) ASSERT_EQ(pool.Recycle(node), S_OK);
  EXPECT_EQ(pool.FreeCount(), 2);
  pool.StopDeleter();
  EXPECT_EQ(Subtree::destroyed.load(), 1);
}

TEST_F(DeleterTest, OtherThreadsShareThePool) {
  tAllocator<Subtree> pool(64);
  std::atomic<int> refused{0};
  auto work = [&pool, &refused] {
    for (int i = 0; i < 200; ++i) {
      Subtree* node = pool.Take();
      if (node == nullptr || (i % 3 == 0 ? pool.DeferDelete(node) : pool.Recycle(node)) != S_OK)
        ++refused;
    }
  };
  std::thread first(work);
  std::thread second(work);
  first.join();
  second.join();
  pool.StopDeleter();
  EXPECT_EQ(refused.load(), 0);
  EXPECT_EQ(pool.DeferredCount(), 0);
  // No node lost or destroyed twice: every node the pool made is either
  // back in the free queue or destroyed, and each thread's deferred nodes
  // at least were destroyed.
  EXPECT_EQ(pool.FreeCount() + Subtree::destroyed.load(), pool.CreatedCount());
  EXPECT_GE(Subtree::destroyed.load(), 2 * 67);
  EXPECT_LE(pool.FreeCount(), 64);
}

TEST_F(DeleterTest, ShutdownJoinsEveryDeleterAndIsSafeToRepeat) {
  tAllocator<Subtree> first(4);
  tAllocator<int> second(4);
  ASSERT_EQ(first.DeferDelete(first.Take()), S_OK);
  ASSERT_EQ(second.DeferDelete(second.Take()), S_OK);
  EXPECT_GE(tThreadRegistry::Instance().RunningCount(), 2);
  ShutdownLibraryThreads();
  EXPECT_EQ(tThreadRegistry::Instance().RunningCount(), 0);
  EXPECT_FALSE(first.DeleterRunning());
  EXPECT_EQ(Subtree::destroyed.load(), 1);
  ShutdownLibraryThreads();
  // A pool whose thread the registry stopped starts a new one when needed,
  // and its own destructor then joins it.
  ASSERT_EQ(first.DeferDelete(first.Take()), S_OK);
  EXPECT_TRUE(first.DeleterRunning());
}

TEST(ThreadRegistry, StopAndJoinOfUnknownOrFinishedThreadsDoesNothing) {
  tThreadRegistry& registry = tThreadRegistry::Instance();
  registry.StopAndJoin(0);
  registry.StopAndJoin(987654321);
  std::atomic<bool> stop{false};
  tThreadRegistry::ThreadId id = registry.Start(
      [&stop] {
        while (!stop.load()) std::this_thread::yield();
      },
      [&stop] { stop = true; });
  ASSERT_NE(id, 0);
  EXPECT_TRUE(registry.IsRunning(id));
  registry.StopAndJoin(id);
  EXPECT_FALSE(registry.IsRunning(id));
  registry.StopAndJoin(id);
}

}  // namespace
