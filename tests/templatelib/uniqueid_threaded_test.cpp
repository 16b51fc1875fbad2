// Unique ids drawn from several threads at once.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "templatelib/UniqueId.h"

namespace {

TEST(UniqueIdThreads, ThreadsNeverGetTheSameId) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 2000;
  std::vector<std::vector<std::string>> ids(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&ids, t] {
      tString id;
      for (int i = 0; i < kPerThread; ++i) {
        schema::GetUniqueId(&id);
        ids[t].push_back(id.Text());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::set<std::string> all;
  for (const auto& list : ids) all.insert(list.begin(), list.end());
  EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kPerThread));
}

}  // namespace
