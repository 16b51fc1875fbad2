// Deletion on behalf of containers, guarded against faulting destructors.
//
// Queues, lists and pools destroy elements they own through these helpers.
// A destructor that throws (one declared noexcept(false)) must not take the
// container, or the deleter thread, down with it: the exception is caught,
// one line goes to the debug output and the caller carries on with the next
// element. The memory of a single object is still given back (the language
// calls the deallocation function even when the destructor throws).
//
// Thread safety: any thread.
#pragma once

#include "templatelib/DebugOut.h"

inline constexpr char kGuardedDeleteObjectMessage[] = "Exception occured while deleting object!\n";
inline constexpr char kGuardedDeleteArrayMessage[] = "Exception occured while deleting array!\n";

template <class T>
void GuardedDelete(T* object) {
  try {
    delete object;
  } catch (...) {
    DebugOut("%s", kGuardedDeleteObjectMessage);
  }
}

template <class T>
void GuardedDeleteArray(T* array) {
  try {
    delete[] array;
  } catch (...) {
    DebugOut("%s", kGuardedDeleteArrayMessage);
  }
}
