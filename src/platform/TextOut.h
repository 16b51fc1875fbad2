// Where the program's console messages go.
//
// The stress tool reports every step on standard output, and a watcher (an
// operator, a script, a test) must see each message as it is printed, so the
// standard-output channel flushes after every write. Code that prints takes a
// `TextOut&` instead of writing to stdout itself, so tests can capture the
// exact text with a StringTextOut.
//
// A failed write (a closed pipe, a full disk behind a redirection) is ignored:
// losing the console must never stop the stream.
//
// Thread safety: a TextOut is used by one thread at a time.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "platform/PrintfFormat.h"

namespace platform {

class TextOut {
 public:
  virtual ~TextOut() = default;
  virtual void Write(std::string_view text) = 0;
};

// Standard output, flushed after every write.
TextOut& StandardOutput();

// Collects everything written, for tests and for building texts.
class StringTextOut final : public TextOut {
 public:
  void Write(std::string_view text) override { text_.append(text); }
  const std::string& text() const { return text_; }
  void clear() { text_.clear(); }

 private:
  std::string text_;
};

// printf-style formatting appended to `text`, of any length.
void AppendFormat(std::string& text, const char* format, ...) YEB_PRINTF_FORMAT(2, 3);
void AppendFormatV(std::string& text, const char* format, va_list args);

// printf-style formatting into `out`; messages of any length are written whole.
void Printf(TextOut& out, const char* format, ...) YEB_PRINTF_FORMAT(2, 3);

}  // namespace platform
