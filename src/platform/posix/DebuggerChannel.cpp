#include "platform/DebuggerChannel.h"

#include <syslog.h>

namespace platform {

void WriteToDebugger(std::string_view message) {
  syslog(LOG_DEBUG, "%.*s", static_cast<int>(message.size()), message.data());
}

void WriteWideToDebugger(const wchar_t* message) { WriteToDebugger(NarrowText(message)); }

}  // namespace platform
