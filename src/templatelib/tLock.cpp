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
    semaphore_.acquire();
    return S_OK;
  } catch (const std::system_error&) {
    return E_FAIL;
  }
}

HRESULT tSemaphore::TryWait() {
  try {
    return semaphore_.try_acquire() ? S_OK : S_FALSE;
  } catch (const std::system_error&) {
    return E_FAIL;
  }
}

HRESULT tSemaphore::Signal() {
  try {
    semaphore_.release();
    return S_OK;
  } catch (const std::system_error&) {
    return E_FAIL;
  }
}
