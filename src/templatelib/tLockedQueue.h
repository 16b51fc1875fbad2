// tLockedQueue: a mutex-guarded FIFO ring of pointers.
//
// The ring holds `capacity` slots. `head` is the slot written last and `read`
// the next slot to read; popping the last item leaves `read` where it is, so
// the next push fills that same slot. A growable queue that is full grows by
// 512 slots, keeping FIFO order also when the ring has wrapped; a
// non-growable one refuses the push with E_FAIL and stays unchanged.
//
// Blocking mode: every push signals a semaphore and pop waits on it, so a pop
// on an empty queue sleeps until something is pushed. A null pointer may be
// pushed; the deleter threads use it as their stop request.
//
// Ownership: when `ownsItems` is set, destroying the queue deletes every item
// still in it (as arrays when `itemsAreArrays` is set) under the guarded
// delete. The pools' deferred-delete queues are built without ownership.
//
// Thread safety: Push, Pop, Count and the index accessors may be called from
// any thread at once; each holds the queue's own mutex for the whole
// operation, and a blocking pop releases it before it waits. The destructor
// must not run while another thread is still inside Pop or Push.
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "templatelib/GuardedDelete.h"
#include "templatelib/Result.h"
#include "templatelib/tLock.h"

inline constexpr int32_t kLockedQueueGrowthSlots = 512;

template <class T>
class tLockedQueue {
 public:
  tLockedQueue(int32_t capacity, bool blocking, bool growable, bool ownsItems = true,
               bool itemsAreArrays = false)
      : blocking_(blocking),
        growable_(growable),
        ownsItems_(ownsItems),
        itemsAreArrays_(itemsAreArrays) {
    // A zero-slot ring has no "next slot"; one slot is the smallest ring.
    int32_t wanted = std::max<int32_t>(capacity, 1);
    slots_ = new (std::nothrow) T*[static_cast<size_t>(wanted)]();
    capacity_ = slots_ != nullptr ? wanted : 0;
  }

  ~tLockedQueue() {
    std::vector<T*> remaining;
    {
      tMutexLock lock(mutex_);
      blocking_ = false;
      if (ownsItems_) {
        remaining.reserve(static_cast<size_t>(count_));
        while (count_ > 0) remaining.push_back(TakeLocked());
      }
    }
    for (T* item : remaining) {
      if (item == nullptr) continue;
      if (itemsAreArrays_) {
        GuardedDeleteArray(item);
      } else {
        GuardedDelete(item);
      }
    }
    delete[] slots_;
  }

  tLockedQueue(const tLockedQueue&) = delete;
  tLockedQueue& operator=(const tLockedQueue&) = delete;

  // S_OK when stored; E_FAIL when full and not growable; E_OUTOFMEMORY when
  // growing fails or would pass the 32-bit slot count.
  HRESULT Push(T* item) {
    tMutexLock lock(mutex_);
    if (!lock.locked()) return E_FAIL;
    if (count_ >= capacity_) {
      if (!growable_) return E_FAIL;
      HRESULT hr = GrowLocked();
      if (hr != S_OK) return hr;
    }
    int32_t slot = count_ == 0 ? head_ : NextIndex(head_);
    slots_[slot] = item;
    ++count_;
    head_ = slot;
    if (blocking_) signal_.Signal();
    return S_OK;
  }

  // Non-blocking: the oldest item, or null when empty. Blocking: waits until
  // an item is there. A popped null is indistinguishable from "empty".
  T* Pop() {
    mutex_.Lock();
    if (blocking_) {
      mutex_.Unlock();
      if (signal_.Wait() != S_OK) return nullptr;
      mutex_.Lock();
    }
    T* item = count_ > 0 ? TakeLocked() : nullptr;
    mutex_.Unlock();
    return item;
  }

  // The oldest item, or null when empty; never waits, also in blocking
  // mode (the semaphore's count is taken along with the item).
  T* TryPop() {
    tMutexLock lock(mutex_);
    if (count_ == 0) return nullptr;
    if (blocking_ && signal_.TryWait() != S_OK) return nullptr;
    return TakeLocked();
  }

  int32_t Count() {
    tMutexLock lock(mutex_);
    return count_;
  }
  int32_t Capacity() {
    tMutexLock lock(mutex_);
    return capacity_;
  }
  // For diagnostics and tests: the slot written last and the next to read.
  int32_t HeadIndex() {
    tMutexLock lock(mutex_);
    return head_;
  }
  int32_t ReadIndex() {
    tMutexLock lock(mutex_);
    return read_;
  }

 private:
  int32_t NextIndex(int32_t index) const { return index + 1 >= capacity_ ? 0 : index + 1; }

  T* TakeLocked() {
    T* item = slots_[read_];
    slots_[read_] = nullptr;
    --count_;
    if (count_ > 0) read_ = NextIndex(read_);
    return item;
  }

  HRESULT GrowLocked() {
    int64_t grownCapacity = static_cast<int64_t>(capacity_) + kLockedQueueGrowthSlots;
    if (grownCapacity > INT32_MAX) return E_OUTOFMEMORY;
    T** grown = new (std::nothrow) T*[static_cast<size_t>(grownCapacity)]();
    if (grown == nullptr) return E_OUTOFMEMORY;
    if (read_ <= head_) {
      // Not wrapped (read is 0 and head the last slot, or a one-slot ring):
      // the slots keep their places and the new room follows them.
      std::copy(slots_, slots_ + capacity_, grown);
    } else {
      // Wrapped: 0..head stay, read..end move up by the growth so that the
      // new room sits between head and read.
      std::copy(slots_, slots_ + head_ + 1, grown);
      std::copy(slots_ + read_, slots_ + capacity_, grown + read_ + kLockedQueueGrowthSlots);
      read_ += kLockedQueueGrowthSlots;
    }
    delete[] slots_;
    slots_ = grown;
    capacity_ = static_cast<int32_t>(grownCapacity);
    return S_OK;
  }

  T** slots_ = nullptr;
  tSemaphore signal_;
  tMutex mutex_;
  int32_t head_ = 0;
  int32_t read_ = 0;
  int32_t capacity_ = 0;
  int32_t count_ = 0;
  bool blocking_;
  bool growable_;
  bool ownsItems_;
  bool itemsAreArrays_;
};
