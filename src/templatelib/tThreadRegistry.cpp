#include "templatelib/tThreadRegistry.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace {

// The list starts with room for 50 threads and grows by 10 slots.
constexpr size_t kInitialSlots = 50;
constexpr size_t kGrowthSlots = 10;

void StopAllAtExit() { ShutdownLibraryThreads(); }

}  // namespace

tThreadRegistry& tThreadRegistry::Instance() {
  // Never destroyed: threads may be stopped from exit handlers that run
  // while static objects are being destroyed.
  static tThreadRegistry* registry = new tThreadRegistry();
  return *registry;
}

tThreadRegistry::ThreadId tThreadRegistry::Start(std::function<void()> body,
                                                 std::function<void()> requestStop) {
  std::lock_guard lock(mutex_);
  if (!exitHandlerInstalled_) {
    exitHandlerInstalled_ = std::atexit(StopAllAtExit) == 0;
  }
  if (entries_.capacity() == 0) entries_.reserve(kInitialSlots);
  if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.capacity() + kGrowthSlots);
  std::thread thread;
  try {
    thread = std::thread(std::move(body));
  } catch (const std::system_error&) {
    return 0;
  }
  ThreadId id = nextId_++;
  entries_.push_back(Entry{id, std::move(thread), std::move(requestStop), false});
  return id;
}

void tThreadRegistry::StopClaimed(ThreadId id, std::thread thread,
                                  const std::function<void()>& requestStop) {
  if (requestStop) requestStop();
  if (thread.joinable()) thread.join();
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [id](const Entry& e) { return e.id == id; });
  joined_.notify_all();
}

void tThreadRegistry::StopAndJoin(ThreadId id) {
  if (id == 0) return;
  std::unique_lock lock(mutex_);
  auto found =
      std::find_if(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
  if (found == entries_.end()) return;
  if (found->claimed) {
    // Someone else is joining it; return only once it has really ended.
    joined_.wait(lock, [this, id] {
      return std::none_of(entries_.begin(), entries_.end(),
                          [id](const Entry& e) { return e.id == id; });
    });
    return;
  }
  found->claimed = true;
  std::thread thread = std::move(found->thread);
  std::function<void()> requestStop = std::move(found->requestStop);
  lock.unlock();
  StopClaimed(id, std::move(thread), requestStop);
}

void tThreadRegistry::StopAndJoinAll() {
  std::vector<ThreadId> ids;
  {
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_) ids.push_back(e.id);
  }
  for (ThreadId id : ids) StopAndJoin(id);
}

bool tThreadRegistry::IsRunning(ThreadId id) {
  if (id == 0) return false;
  std::lock_guard lock(mutex_);
  // A thread being stopped still counts: a second consumer on its queue
  // could take the stop request meant for it.
  return std::any_of(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
}

int32_t tThreadRegistry::RunningCount() {
  std::lock_guard lock(mutex_);
  return static_cast<int32_t>(entries_.size());
}

void ShutdownLibraryThreads() { tThreadRegistry::Instance().StopAndJoinAll(); }
