#include "io/ScriptText.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "platform/File.h"

namespace io {

bool IsScriptBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view TrimScriptLine(std::string_view line) {
  while (!line.empty() && IsScriptBlank(line.front())) line.remove_prefix(1);
  while (!line.empty() && IsScriptBlank(line.back())) line.remove_suffix(1);
  return line;
}

std::vector<std::string_view> ScriptWords(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsScriptBlank(line[i])) ++i;
    const size_t start = i;
    while (i < line.size() && !IsScriptBlank(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

bool ReadScriptDecimal(std::string_view word, double* value) {
  if (word.empty() || word.size() > 64) return false;
  for (char c : word) {
    const bool allowed =
        (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
    if (!allowed) return false;
  }
  const std::string text(word);
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && errno == 0 && std::isfinite(*value);
}

bool ScriptWordIs(std::string_view word, std::string_view lowercase) {
  if (word.size() != lowercase.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    const char x = (word[i] >= 'A' && word[i] <= 'Z') ? char(word[i] + 32) : word[i];
    if (x != lowercase[i]) return false;
  }
  return true;
}

platform::Status ReadScriptFile(const std::string& path, size_t maxBytes, std::string* text) {
  platform::File file;
  platform::Status reason;
  if (file.OpenRegularForReading(path, &reason) != platform::File::OpenResult::kOpened) {
    const std::string prefix = path + ": ";
    return reason.WithMessage(reason.message().rfind(prefix, 0) == 0
                                  ? reason.message().substr(prefix.size())
                                  : reason.message());
  }
  const platform::Status tooLarge =
      platform::Status::InvalidArgument("larger than " + std::to_string(maxBytes) + " bytes");
  int64_t size = 0;
  if (file.Size(size) && size > static_cast<int64_t>(maxBytes)) return tooLarge;
  // Read to the end, not to the size seen: the file may grow meanwhile.
  text->clear();
  char chunk[16384];
  for (;;) {
    const int64_t n = file.Read(chunk, sizeof chunk);
    if (n < 0) return platform::Status::IoError("read error");
    if (n == 0) break;
    text->append(chunk, static_cast<size_t>(n));
    if (text->size() > maxBytes) return tooLarge;
  }
  return platform::Status::Ok();
}

}  // namespace io
