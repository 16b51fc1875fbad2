// The debugger-output channel: where the template library's diagnostics go.
//
// A process-wide sink receives each finished message. The default sink is
// the platform's debugger output (OutputDebugStringA and its wide twin on
// Windows; syslog at debug level on POSIX, the nearest thing there); tools
// install their own (configsql writes to standard
// error) and tests install a capturing sink to assert on exact texts.
//
// Thread safety: WriteDebugString may be called from any thread (the
// library's deleter threads report through it); calls to the sink are
// serialised. SetDebugSink may be called from any thread.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using DebugSink = std::function<void(std::string_view message)>;

// Installs `sink` (an empty function restores the default) and returns the
// previous one.
DebugSink SetDebugSink(DebugSink sink);

void WriteDebugString(const char* message);
// The wide twin: the text is converted to the narrow multibyte encoding
// before it reaches an installed sink; the default sink takes it as it is.
void WriteDebugStringW(const wchar_t* message);

// Keeps the diagnostics written while it lives, so that a program can show
// the reasons of a step that failed and send those of a step that worked to
// the debug channel as before. Captures nest: each restores the sink it
// replaced. Messages from other threads during the capture are kept too.
//
// Thread safety: created and destroyed on one thread; Messages() and the
// release calls on that thread.
class DiagnosticsCapture {
 public:
  DiagnosticsCapture();
  // Forwards whatever was not taken (ReleaseTo / Take) to the sink it replaced.
  ~DiagnosticsCapture();
  DiagnosticsCapture(const DiagnosticsCapture&) = delete;
  DiagnosticsCapture& operator=(const DiagnosticsCapture&) = delete;

  // The messages so far, each as written (most end in "\n"); the capture
  // then holds none.
  std::vector<std::string> Take();

 private:
  std::mutex mutex_;
  std::vector<std::string> messages_;
  DebugSink previous_;
};

}  // namespace platform
