#include "platform/DebugOutput.h"

#include <climits>
#include <cwchar>
#include <mutex>
#include <new>
#include <string>

#include "platform/DebuggerChannel.h"

namespace platform {
namespace {

std::mutex& SinkMutex() {
  static std::mutex m;
  return m;
}

DebugSink& CurrentSink() {
  static DebugSink sink;
  return sink;
}

}  // namespace

DebugSink SetDebugSink(DebugSink sink) {
  std::lock_guard lock(SinkMutex());
  DebugSink previous = std::move(CurrentSink());
  CurrentSink() = std::move(sink);
  return previous;
}

void WriteDebugString(const char* message) {
  if (message == nullptr) return;
  std::lock_guard lock(SinkMutex());
  if (CurrentSink()) {
    CurrentSink()(message);
  } else {
    WriteToDebugger(message);
  }
}

std::string NarrowText(const wchar_t* message) {
  std::string narrow;
  std::mbstate_t state{};
  char buf[MB_LEN_MAX];
  for (const wchar_t* p = message; *p != L'\0'; ++p) {
    size_t n = std::wcrtomb(buf, *p, &state);
    if (n == static_cast<size_t>(-1)) {
      narrow.push_back('?');
      state = std::mbstate_t{};
    } else {
      narrow.append(buf, n);
    }
  }
  return narrow;
}

void WriteDebugStringW(const wchar_t* message) {
  if (message == nullptr) return;
  {
    std::lock_guard lock(SinkMutex());
    if (!CurrentSink()) {
      WriteWideToDebugger(message);
      return;
    }
  }
  // The sink takes narrow text; it may be swapped between the two locks,
  // which only decides who sees this one message.
  WriteDebugString(NarrowText(message).c_str());
}

DiagnosticsCapture::DiagnosticsCapture() {
  previous_ = SetDebugSink([this](std::string_view message) {
    std::lock_guard lock(mutex_);
    // A load that ran out of memory reports it while the memory is still
    // taken; a message that cannot be kept goes on at once rather than
    // being lost with the reason.
    try {
      messages_.emplace_back(message);
    } catch (const std::bad_alloc&) {
      if (previous_) {
        previous_(message);
      } else {
        WriteToDebugger(message);
      }
    }
  });
}

DiagnosticsCapture::~DiagnosticsCapture() {
  SetDebugSink(std::move(previous_));
  // Through the channel, so the restored sink sees them under its lock.
  for (const std::string& message : Take()) WriteDebugString(message.c_str());
}

std::vector<std::string> DiagnosticsCapture::Take() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> taken;
  taken.swap(messages_);
  return taken;
}

}  // namespace platform
