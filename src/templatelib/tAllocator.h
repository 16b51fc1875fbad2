// tAllocator: a recycling pool of nodes with a background deleter.
//
// Take() hands out a node from the free queue, or a new value-initialised
// one from the heap (counting it in CreatedCount()). Recycle() puts a node
// back for reuse; when the free queue is full the node is deferred instead.
// A recycled node comes back from Take() as it was left, except that a node
// type with a `void ResetForReuse()` member gets that call first; callers set
// the fields they use either way.
//
// DeferDelete() hands a node to the pool's deleter thread, which destroys it
// (for a tree node: its whole subtree) so that the caller does not wait. The
// deferred-delete queue and the thread are created on the first deferred
// delete; the thread is recorded in tThreadRegistry and destroys one node at
// a time with a 1 ms pause between them (no pause once asked to stop). A destructor that throws is
// reported on the debug output and passed over. A deferred node must not be
// reachable from any other code.
//
// The process-wide pools (one per node type) come from ProcessWidePool<T>(),
// created on first need and never destroyed, so nodes can be released at any
// point of the program's end. A pool object of one's own (tests) stops and
// joins its deleter in its destructor and deletes whatever is still queued.
//
// Thread safety: every member may be called from any thread; the queues are
// the only shared state.
#pragma once

#include <atomic>
#include <cinttypes>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>

#include "platform/Clock.h"
#include "templatelib/DebugOut.h"
#include "templatelib/Result.h"
#include "templatelib/tLockedQueue.h"
#include "templatelib/tThreadRegistry.h"

inline constexpr int32_t kPoolFreeQueueCapacity = 65536;
inline constexpr int32_t kPoolDeferredQueueCapacity = 65536;

template <class T>
class tAllocator {
 public:
  explicit tAllocator(int32_t freeQueueCapacity = kPoolFreeQueueCapacity)
      : free_(freeQueueCapacity, /*blocking=*/false, /*growable=*/false) {}

  ~tAllocator() {
    StopDeleter();
    if (deferred_ != nullptr) {
      // Items left behind a stop request (a null) are destroyed here too.
      while (deferred_->Count() > 0) {
        if (T* node = deferred_->TryPop()) DeleteNode(node);
      }
    }
  }

  tAllocator(const tAllocator&) = delete;
  tAllocator& operator=(const tAllocator&) = delete;

  // A node ready for use, or null when the heap is exhausted.
  T* Take() {
    if (T* node = free_.Pop()) {
      if constexpr (requires(T & n) { n.ResetForReuse(); }) node->ResetForReuse();
      return node;
    }
    created_.fetch_add(1, std::memory_order_relaxed);
    return new (std::nothrow) T();
  }

  // Keeps `node` for reuse; defers it when the free queue is full.
  HRESULT Recycle(T* node) {
    if (node == nullptr) return E_POINTER;
    if (free_.Push(node) == S_OK) return S_OK;
    return DeferDelete(node);
  }

  // Keeps `node` for reuse, or destroys it at once when the free queue is
  // full. For nodes that own nothing costly (hash nodes), where handing them
  // to the paced deleter one by one would only hold memory for longer.
  HRESULT RecycleOrDelete(T* node) {
    if (node == nullptr) return E_POINTER;
    if (free_.Push(node) != S_OK) DeleteNode(node);
    return S_OK;
  }

  // Hands `node` to the deleter thread. When no thread can be started the
  // node is destroyed at once, on the caller's thread.
  HRESULT DeferDelete(T* node) {
    if (node == nullptr) return E_POINTER;
    std::lock_guard lock(deleterMutex_);
    if (deferred_ == nullptr) {
      deferred_.reset(new (std::nothrow)
                          tLockedQueue<T>(kPoolDeferredQueueCapacity, /*blocking=*/true,
                                          /*growable=*/true, /*ownsItems=*/false));
    }
    tThreadRegistry& registry = tThreadRegistry::Instance();
    if (deferred_ != nullptr && !registry.IsRunning(deleterId_)) {
      tLockedQueue<T>* queue = deferred_.get();
      std::atomic<bool>* stopping = &stopping_;
      stopping_.store(false);
      deleterId_ = registry.Start([queue, stopping] { DeleterLoop(*queue, *stopping); },
                                  [queue, stopping] {
                                    stopping->store(true);
                                    queue->Push(nullptr);
                                  });
    }
    if (deferred_ == nullptr || deleterId_ == 0 || deferred_->Push(node) != S_OK) {
      DeleteNode(node);
    }
    return S_OK;
  }

  // Stops and joins this pool's deleter after it has destroyed everything
  // deferred so far. The next DeferDelete starts a new one.
  void StopDeleter() {
    tThreadRegistry::ThreadId id;
    {
      std::lock_guard lock(deleterMutex_);
      id = deleterId_;
    }
    if (id != 0) tThreadRegistry::Instance().StopAndJoin(id);
  }

  int64_t CreatedCount() const { return created_.load(std::memory_order_relaxed); }
  int32_t FreeCount() { return free_.Count(); }
  int32_t DeferredCount() {
    std::lock_guard lock(deleterMutex_);
    return deferred_ != nullptr ? deferred_->Count() : 0;
  }
  bool DeleterRunning() {
    std::lock_guard lock(deleterMutex_);
    return deleterId_ != 0 && tThreadRegistry::Instance().IsRunning(deleterId_);
  }

 private:
  // The 1 ms pause keeps a large release from competing with the main
  // thread; once a stop is requested the rest is destroyed without pauses,
  // so that the program's end does not wait a millisecond per node.
  static void DeleterLoop(tLockedQueue<T>& queue, const std::atomic<bool>& stopping) {
    while (T* node = queue.Pop()) {
      DeleteNode(node);
      if (!stopping.load(std::memory_order_relaxed)) platform::SleepMs(1);
    }
  }

#if defined(__GNUC__) && !defined(__clang__)
// GCC 12 at -O3 follows the popped pointer around the deleter loop and
// reports the next iteration's address conversion as a use after free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif
  static void DeleteNode(T* node) {
    // The address is taken before the delete: the pointer is not to be used
    // afterwards, not even to print it.
    const auto address = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(node));
    try {
      delete node;
    } catch (...) {
      DebugOut("tAllocator: Exception occured while deleting a single element at x%" PRIx64 "!\n",
               address);
    }
  }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

  tLockedQueue<T> free_;
  std::atomic<int64_t> created_{0};
  std::mutex deleterMutex_;  // guards creating the deferred queue and starting the thread
  std::unique_ptr<tLockedQueue<T>> deferred_;
  tThreadRegistry::ThreadId deleterId_ = 0;
  std::atomic<bool> stopping_{false};
};

// The process-wide pool for node type T, created on first need and kept for
// the whole process (it is never destroyed, so releases during the program's
// end are safe).
template <class T>
tAllocator<T>& ProcessWidePool() {
  static tAllocator<T>* pool = new tAllocator<T>();
  return *pool;
}
