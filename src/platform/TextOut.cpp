#include "platform/TextOut.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

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

void Printf(TextOut& out, const char* format, ...) {
  char small[512];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (needed < 0) {
    va_end(copy);
    return;
  }
  if (static_cast<size_t>(needed) < sizeof small) {
    va_end(copy);
    out.Write(std::string_view(small, static_cast<size_t>(needed)));
    return;
  }
  std::vector<char> large(static_cast<size_t>(needed) + 1);
  std::vsnprintf(large.data(), large.size(), format, copy);
  va_end(copy);
  out.Write(std::string_view(large.data(), static_cast<size_t>(needed)));
}

}  // namespace platform
