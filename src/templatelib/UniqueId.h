// Unique row ids and the local host name inside them.
//
// UniqueIdGenerator::Next fills a string with
// "<counter>-<local time>@<host>-<pid>": the generator's unsigned 32-bit
// counter (0 for the first id), the local date
// and time in the 24-character form "Www Mmm dd hh:mm:ss yyyy" with every
// white-space character removed, the host name and the process id. Two ids
// of one process differ in the counter; ids of different processes differ
// in the process id or the host.
//
// LocalHostName gives the host name, or "noHostName" while it cannot be had
// (the next call tries again). The host name comes from the system unless
// the generator was given another source (tests).
//
// GetUniqueId and GetLocalHostName use the process's one default generator,
// the row-id source the query engine is given unless its owner chooses one.
//
// Thread safety: a generator serialises itself with its own mutex and may be
// called from any thread; the text LocalHostName returns stays valid until
// the next call on that generator.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/System.h"
#include "templatelib/Result.h"
#include "templatelib/tString.h"

namespace schema {

class UniqueIdGenerator {
 public:
  // `hostNameSource` gives the host name, empty when it is not available;
  // an empty function asks the system.
  explicit UniqueIdGenerator(std::function<std::string()> hostNameSource = {});
  UniqueIdGenerator(const UniqueIdGenerator&) = delete;
  UniqueIdGenerator& operator=(const UniqueIdGenerator&) = delete;

  HRESULT Next(tString* id);
  const char* LocalHostName();

 private:
  const char* LocalHostNameLocked();

  std::mutex mutex_;
  std::function<std::string()> hostNameSource_;
  uint32_t counter_ = 0;
  bool haveProcessId_ = false;
  uint32_t processId_ = 0;
  // The host name is looked up until it is found once.
  bool hostNameMissing_ = true;
  std::string hostName_;
  // The time text changes once a second; it is rebuilt only then.
  platform::LocalTime lastTime_{};
  bool haveTimeText_ = false;
  std::string timeText_;
};

HRESULT GetUniqueId(tString* id);
const char* GetLocalHostName();

// The 24-character local time text of `t`, as ids carry it before the
// white space is removed ("Tue Dec  8 20:22:50 2026").
struct LocalTimeParts {
  int year, month, day, dayOfWeek, hour, minute, second;
};
std::string AscTimeText(const LocalTimeParts& t);

}  // namespace schema
