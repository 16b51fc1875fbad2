// Lock wrappers of the template library: a mutex and a counting semaphore.
//
// Both wait without a time-out. Lock()/Wait() report S_OK when the object was
// obtained and E_FAIL otherwise (the standard library primitives used here
// cannot be abandoned, so failure only comes from a system error). The
// semaphore starts at 0 and counts up to 2,147,483,647.
//
// Thread safety: every member may be called from any thread; that is their
// purpose. Neither object is copyable or movable.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "templatelib/Result.h"

class tMutex {
 public:
  tMutex() = default;
  ~tMutex() = default;
  tMutex(const tMutex&) = delete;
  tMutex& operator=(const tMutex&) = delete;

  HRESULT Lock();
  void Unlock();

 private:
  std::mutex mutex_;
};

// Holds a tMutex for its scope.
class tMutexLock {
 public:
  explicit tMutexLock(tMutex& mutex) : mutex_(mutex), locked_(mutex.Lock() == S_OK) {}
  ~tMutexLock() {
    if (locked_) mutex_.Unlock();
  }
  tMutexLock(const tMutexLock&) = delete;
  tMutexLock& operator=(const tMutexLock&) = delete;
  bool locked() const { return locked_; }

 private:
  tMutex& mutex_;
  bool locked_;
};

class tSemaphore {
 public:
  static constexpr int32_t kMaximumCount = 2147483647;

  tSemaphore() = default;
  ~tSemaphore() = default;
  tSemaphore(const tSemaphore&) = delete;
  tSemaphore& operator=(const tSemaphore&) = delete;

  // Blocks until a count is available and takes it.
  HRESULT Wait();
  // Takes a count if one is available; S_FALSE when none is.
  HRESULT TryWait();
  // Releases one count.
  HRESULT Signal();

 private:
  // A count under a mutex rather than std::counting_semaphore: on the
  // Windows build the library's semaphore waits on an emulated atomic wait
  // that can miss a release and sleep for ever.
  std::mutex mutex_;
  std::condition_variable released_;
  int32_t count_ = 0;
};
