#include "platform/TextOut.h"

#include <cstdarg>
#include <cstdio>

namespace platform {
namespace {

class StandardOutputText final : public TextOut {
 public:
  void Write(std::string_view text) override {
    // SIGPIPE is ignored by the program, so a closed pipe only fails here.
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
};

}  // namespace

TextOut& StandardOutput() {
  static StandardOutputText out;
  return out;
}

void AppendFormatV(std::string& text, const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(small, sizeof small, format, args);
  if (needed >= 0 && static_cast<size_t>(needed) < sizeof small) {
    text.append(small, static_cast<size_t>(needed));
  } else if (needed >= 0) {
    const size_t at = text.size();
    text.resize(at + static_cast<size_t>(needed) + 1);
    std::vsnprintf(text.data() + at, static_cast<size_t>(needed) + 1, format, copy);
    text.resize(at + static_cast<size_t>(needed));
  }
  va_end(copy);
}

void AppendFormat(std::string& text, const char* format, ...) {
  va_list args;
  va_start(args, format);
  AppendFormatV(text, format, args);
  va_end(args);
}

void Printf(TextOut& out, const char* format, ...) {
  std::string text;
  va_list args;
  va_start(args, format);
  AppendFormatV(text, format, args);
  va_end(args);
  out.Write(text);
}

}  // namespace platform
