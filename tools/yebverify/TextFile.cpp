#include "TextFile.h"

#include "platform/File.h"

namespace yebverify {

platform::Status ReadTextFile(const std::string& path, const char* what, uint64_t maxBytes,
                              std::string& text) {
  const std::string role = std::string("the ") + what + " ";
  // One open through the platform, which knows its devices ("NUL" on
  // Windows, /dev/zero here) and lets the tool replace the file meanwhile.
  platform::File file;
  const platform::File::OpenResult opened = file.OpenRegularForReading(path);
  if (opened == platform::File::OpenResult::kNotRegular) {
    return platform::Status::InvalidArgument(role + path + " is not a regular file");
  }
  if (opened != platform::File::OpenResult::kOpened) {
    return platform::SystemError("cannot read " + role + path, platform::LastSystemError());
  }
  int64_t bytes = 0;
  if (file.Size(bytes) && static_cast<uint64_t>(bytes) > maxBytes) {
    return platform::Status::InvalidArgument(role + path + " holds " + std::to_string(bytes) +
                                             " bytes, more than the " + std::to_string(maxBytes) +
                                             " any " + what + " can need");
  }
  text.clear();
  char chunk[1 << 16];
  for (;;) {
    const int64_t n = file.Read(chunk, sizeof chunk);
    if (n < 0) {
      return platform::SystemError("reading " + role + path, platform::LastSystemError());
    }
    if (n == 0) break;
    text.append(chunk, static_cast<size_t>(n));
  }
  return platform::Status::Ok();
}

}  // namespace yebverify
