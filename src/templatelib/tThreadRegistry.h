// The registry of the template library's background threads.
//
// Every thread the library starts (the pools' deleter threads) is recorded
// here together with the function that asks it to stop, so that all of them
// can be stopped and joined together before the process ends: no library
// thread may still run while static objects are destroyed. Threads are
// always woken and joined, never killed or detached.
//
// ShutdownLibraryThreads() is the one call the program makes on every way
// out. It is safe to call more than once, when no thread was ever started,
// and from an exit handler; it is also registered with std::atexit when the
// first thread starts, as a safety net.
//
// Thread safety: every function may be called from any thread except from a
// registered thread itself (a thread cannot join itself).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class tThreadRegistry {
 public:
  using ThreadId = int64_t;  // 0 is never a valid id

  // The process-wide registry; created on first use, never destroyed.
  static tThreadRegistry& Instance();

  // Starts `body` on a new thread and records it with `requestStop`, which
  // must make `body` return soon (for a deleter: push a null item). Returns
  // the thread's id, or 0 when the thread could not be started.
  ThreadId Start(std::function<void()> body, std::function<void()> requestStop);

  // Stops and joins one thread; nothing happens when it is already gone.
  void StopAndJoin(ThreadId id);
  // Stops and joins every recorded thread.
  void StopAndJoinAll();

  // True while the thread is recorded (started and not yet joined, also
  // while it is being stopped).
  bool IsRunning(ThreadId id);
  int32_t RunningCount();

  tThreadRegistry(const tThreadRegistry&) = delete;
  tThreadRegistry& operator=(const tThreadRegistry&) = delete;

 private:
  struct Entry {
    ThreadId id;
    std::thread thread;
    std::function<void()> requestStop;
    bool claimed;  // some caller is stopping and joining it right now
  };

  tThreadRegistry() = default;
  // Stops and joins an entry this caller has claimed, then forgets it.
  void StopClaimed(ThreadId id, std::thread thread, const std::function<void()>& requestStop);

  std::mutex mutex_;
  std::condition_variable joined_;
  std::vector<Entry> entries_;
  ThreadId nextId_ = 1;
  bool exitHandlerInstalled_ = false;
};

// Stops (wakes with a null push) and joins every library thread.
void ShutdownLibraryThreads();
