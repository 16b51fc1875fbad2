#include "templatelib/UniqueId.h"

#include <cstdio>
#include <mutex>

#include "platform/System.h"

namespace schema {

namespace {

constexpr char kNoHostName[] = "noHostName";
constexpr size_t kHostNameCapacity = 500;

struct IdState {
  std::mutex mutex;
  uint32_t counter = 0;
  bool haveProcessId = false;
  uint32_t processId = 0;
  // The host name is looked up until it is found once.
  bool hostNameMissing = true;
  std::string hostName;
  std::function<std::string()> hostNameSource;
  // The time text changes once a second; it is rebuilt only then.
  platform::LocalTime lastTime{};
  bool haveTimeText = false;
  std::string timeText;
};

IdState& State() {
  static IdState* state = new IdState();
  return *state;
}

const char* LocalHostNameLocked(IdState& state) {
  if (state.hostNameMissing) {
    state.hostName = kNoHostName;
    std::string found = state.hostNameSource ? state.hostNameSource() : platform::HostName();
    if (!found.empty()) {
      if (found.size() >= kHostNameCapacity) found.resize(kHostNameCapacity - 1);
      state.hostName = found;
      state.hostNameMissing = false;
    }
  }
  return state.hostName.c_str();
}

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

const char* GetLocalHostName() {
  IdState& state = State();
  std::lock_guard lock(state.mutex);
  return LocalHostNameLocked(state);
}

HRESULT GetUniqueId(tString* id) {
  if (id == nullptr) return E_POINTER;
  IdState& state = State();
  std::lock_guard lock(state.mutex);
  if (!state.haveProcessId) {
    state.processId = platform::ProcessId();
    state.haveProcessId = true;
  }
  platform::LocalTime now = platform::LocalTimeNow();
  if (!state.haveTimeText || !SameSecond(now, state.lastTime)) {
    std::string text = AscTimeText(
        {now.year, now.month, now.day, now.dayOfWeek, now.hour, now.minute, now.second});
    std::erase_if(text, [](char c) {
      return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    });
    state.timeText = std::move(text);
    state.lastTime = now;
    state.haveTimeText = true;
  }
  HRESULT hr =
      id->Format("%lu-%s@%s-%d", static_cast<unsigned long>(state.counter), state.timeText.c_str(),
                 LocalHostNameLocked(state), static_cast<int>(state.processId));
  ++state.counter;
  return hr;
}

void SetHostNameSourceForTesting(std::function<std::string()> source) {
  IdState& state = State();
  std::lock_guard lock(state.mutex);
  state.hostNameSource = std::move(source);
  state.hostNameMissing = true;
}

void ResetUniqueIdStateForTesting() {
  IdState& state = State();
  std::lock_guard lock(state.mutex);
  state.counter = 0;
  state.hostNameMissing = true;
  state.haveTimeText = false;
}

}  // namespace schema
