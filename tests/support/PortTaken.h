// What a server reports when its port is taken: "address in use" everywhere,
// and on Windows also "access denied" (10013), the answer when the holder
// has the port for exclusive use.
#pragma once

#include <string>
#include <vector>

#include "platform/Socket.h"

namespace testsupport {

inline std::vector<std::string> PortTakenBindMessages() {
  const auto message = [](int error) {
    return "utServerSocket::Initialize - socket Bind failed (" + std::to_string(error) + ")...\n";
  };
  std::vector<std::string> messages{message(platform::AddressInUseError())};
#ifdef _WIN32
  messages.push_back(message(10013));
#endif
  return messages;
}

// True when `text` holds one of the messages, with `before` and `after`
// around it.
inline bool HoldsPortTakenBindMessage(const std::string& text, const std::string& before = "",
                                      const std::string& after = "") {
  for (const std::string& message : PortTakenBindMessages())
    if (text.find(before + message + after) != std::string::npos) return true;
  return false;
}

}  // namespace testsupport
