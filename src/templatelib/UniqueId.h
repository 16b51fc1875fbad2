// Unique row ids and the local host name inside them.
//
// GetUniqueId fills a string with "<counter>-<local time>@<host>-<pid>": a
// process-wide unsigned 32-bit counter (0 for the first id), the local date
// and time in the 24-character form "Www Mmm dd hh:mm:ss yyyy" with every
// white-space character removed, the host name and the process id. Two ids
// of one process differ in the counter; ids of different processes differ
// in the process id or the host.
//
// GetLocalHostName gives the host name, or "noHostName" while it cannot be
// had (the next call tries again).
//
// Thread safety: GetUniqueId serialises itself with one process-wide mutex
// and may be called from any thread; GetLocalHostName is called under that
// mutex, or by a single thread.
#pragma once

#include <functional>
#include <string>

#include "templatelib/Result.h"
#include "templatelib/tString.h"

namespace schema {

HRESULT GetUniqueId(tString* id);
const char* GetLocalHostName();

// The 24-character local time text of `t`, as ids carry it before the
// white space is removed ("Tue Dec  8 20:22:50 2026").
struct LocalTimeParts {
  int year, month, day, dayOfWeek, hour, minute, second;
};
std::string AscTimeText(const LocalTimeParts& t);

// Tests: replace where the host name comes from (an empty result means "not
// available"), and reset the process-wide state between cases. Empty
// function: the real host name again.
void SetHostNameSourceForTesting(std::function<std::string()> source);
void ResetUniqueIdStateForTesting();

}  // namespace schema
