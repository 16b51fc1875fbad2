#include "templatelib/UniqueId.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/System.h"

namespace schema {

namespace {

constexpr char kNoHostName[] = "noHostName";
constexpr size_t kHostNameCapacity = 500;

bool SameSecond(const platform::LocalTime& a, const platform::LocalTime& b) {
  return a.second == b.second && a.minute == b.minute && a.hour == b.hour && a.day == b.day &&
         a.month == b.month && a.year == b.year;
}

}  // namespace

std::string AscTimeText(const LocalTimeParts& t) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", kDays[(t.dayOfWeek % 7 + 7) % 7],
                kMonths[((t.month - 1) % 12 + 12) % 12], t.day, t.hour, t.minute, t.second, t.year);
  return text;
}

UniqueIdGenerator::UniqueIdGenerator(std::function<std::string()> hostNameSource)
    : hostNameSource_(std::move(hostNameSource)) {}

const char* UniqueIdGenerator::LocalHostNameLocked() {
  if (hostNameMissing_) {
    hostName_ = kNoHostName;
    std::string found = hostNameSource_ ? hostNameSource_() : platform::HostName();
    if (!found.empty()) {
      if (found.size() >= kHostNameCapacity) found.resize(kHostNameCapacity - 1);
      hostName_ = found;
      hostNameMissing_ = false;
    }
  }
  return hostName_.c_str();
}

const char* UniqueIdGenerator::LocalHostName() {
  std::lock_guard lock(mutex_);
  return LocalHostNameLocked();
}

HRESULT UniqueIdGenerator::Next(tString* id) {
  if (id == nullptr) return E_POINTER;
  std::lock_guard lock(mutex_);
  if (!haveProcessId_) {
    processId_ = platform::ProcessId();
    haveProcessId_ = true;
  }
  platform::LocalTime now = platform::LocalTimeNow();
  if (!haveTimeText_ || !SameSecond(now, lastTime_)) {
    std::string text = AscTimeText(
        {now.year, now.month, now.day, now.dayOfWeek, now.hour, now.minute, now.second});
    std::erase_if(text, [](char c) {
      return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    });
    timeText_ = std::move(text);
    lastTime_ = now;
    haveTimeText_ = true;
  }
  HRESULT hr = id->Format("%lu-%s@%s-%d", static_cast<unsigned long>(counter_), timeText_.c_str(),
                          LocalHostNameLocked(), static_cast<int>(processId_));
  ++counter_;
  return hr;
}

namespace {

UniqueIdGenerator& DefaultGenerator() {
  // Never destroyed: ids may be asked for while other statics go away.
  static UniqueIdGenerator* generator = new UniqueIdGenerator();
  return *generator;
}

}  // namespace

HRESULT GetUniqueId(tString* id) { return DefaultGenerator().Next(id); }

const char* GetLocalHostName() { return DefaultGenerator().LocalHostName(); }

}  // namespace schema
