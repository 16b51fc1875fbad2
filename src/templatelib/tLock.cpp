#include "templatelib/tLock.h"

#include <system_error>

// The standard primitives report system failures by exception; the library
// speaks in status codes, so the exception stops here.

HRESULT tMutex::Lock() {
  try {
    mutex_.lock();
    return S_OK;
  } catch (const std::system_error&) {
    return E_FAIL;
  }
}

void tMutex::Unlock() { mutex_.unlock(); }

HRESULT tSemaphore::Wait() {
  try {
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait(lock, [this] { return count_ > 0; });
    --count_;
    return S_OK;
  } catch (const std::system_error&) {
    return E_FAIL;
  }
}

HRESULT tSemaphore::TryWait() {
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ == 0) return S_FALSE;
    --count_;
    return S_OK;
  } catch (const std::system_error&) {
    return E_FAIL;
  }
}

HRESULT tSemaphore::Signal() {
  try {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (count_ == kMaximumCount) return E_FAIL;
      ++count_;
    }
    released_.notify_one();
    return S_OK;
  } catch (const std::system_error&) {
    return E_FAIL;
  }
}
