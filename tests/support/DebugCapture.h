// Test helper: captures the debug-output channel for the lifetime of the
// object, so tests can assert on the exact diagnostic texts.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/DebugOutput.h"

namespace testsupport {

class DebugCapture {
 public:
  DebugCapture() {
    previous_ = platform::SetDebugSink([this](std::string_view message) {
      std::lock_guard lock(mutex_);
      messages_.emplace_back(message);
    });
  }
  ~DebugCapture() { platform::SetDebugSink(std::move(previous_)); }
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  std::vector<std::string> messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> messages_;
  platform::DebugSink previous_;
};

}  // namespace testsupport
