// tString: the line reader and the file test.

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/File.h"
#include "templatelib/tString.h"

namespace {
constexpr char kFullMarker = static_cast<char>(0xFF);
}

char* tString::ReadLine(std::FILE* stream) {
  if (stream == nullptr) return nullptr;
  if (text_ == nullptr || capacity_ < kLineInitialCapacity) {
    if (Reallocate(kLineInitialCapacity, /*keepText=*/false) != S_OK) return nullptr;
  }
  int32_t offset = 0;  // where the next read continues a line that did not fit
  for (;;) {
    // fgets writes its terminator into the last byte only when it filled
    // the buffer; a marker there tells a full buffer from a short line.
    text_[capacity_ - 1] = kFullMarker;
    if (std::fgets(text_ + offset, capacity_ - offset, stream) == nullptr) {
      // End of file right after a buffer's worth of text: that text is the
      // last line, which simply had no line feed.
      if (offset > 0 && !std::ferror(stream)) return text_;
      return nullptr;
    }
    if (text_[capacity_ - 1] == kFullMarker) return text_;
    if (text_[capacity_ - 2] == '\n') return text_;
    int32_t grown =
        DoubledCapacity(capacity_, static_cast<int64_t>(capacity_) + 1, kLineInitialCapacity);
    offset = capacity_ - 1;
    if (grown == 0 || Reallocate(grown, /*keepText=*/true) != S_OK) return nullptr;
  }
}

bool tString::FileExists(const char* fileName) {
  if (fileName == nullptr || *fileName == '\0') return false;
  // Opening a folder for reading succeeds on some systems; a folder is not
  // a file for our callers.
  std::error_code error;
  if (std::filesystem::is_directory(fileName, error)) return false;
  std::FILE* file = platform::OpenStreamForReading(fileName, "r");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}
