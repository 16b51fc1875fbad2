// A file opened by name through the platform's own handle (a descriptor on
// POSIX, a HANDLE on Windows), for code that reads files in its own way:
// utFile's positioned reads, the parameter file's line reader.
//
// Reads report an error apart from the end of the file. An interrupted read
// is retried, unless a termination request came (see Termination.h): then it
// fails, so that a reader stuck on a slow device lets the program end.
//
// Thread safety: an object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/Status.h"

namespace platform {

class File {
 public:
  enum class Access { kRead, kReadWrite, kWrite };
  enum class Origin { kStart, kEnd, kCurrent };
  enum class OpenResult { kOpened, kCannotOpen, kNotRegular };

  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Closes any open file, then opens an existing one; a folder is refused.
  // When it fails and `reason` is given, *reason says why, naming the path.
  bool Open(const std::string& path, Access access, Status* reason = nullptr);
  // Opens for reading only what is a regular file: a folder, a device or a
  // pipe is kNotRegular (and a pipe without a writer does not hang the open).
  // When it fails and `reason` is given, *reason says why, naming the path.
  OpenResult OpenRegularForReading(const std::string& path, Status* reason = nullptr);
  bool IsOpen() const { return handle_ != kNoHandle; }
  // False when there was no file or closing failed; closed after it anyway.
  bool Close();

  // One read of at most `length` bytes: the count (0 at the end of the
  // file), or -1 on failure.
  int64_t Read(void* buffer, uint32_t length);
  // The current position, or -1.
  int64_t Position() const;
  bool Seek(Origin origin, int64_t offset);
  // The size in bytes; false (and 0) on failure.
  bool Size(int64_t& size) const;

 private:
  using Handle = intptr_t;
  static constexpr Handle kNoHandle = -1;
  Handle handle_ = kNoHandle;
};

// std::fopen for reading (`mode` "r" or "rb"), except that on Windows the
// file may still be renamed or replaced while it is open, as on POSIX: a
// save into a file that another program is reading then succeeds. Null on
// failure, with errno set as fopen sets it.
std::FILE* OpenStreamForReading(const std::string& path, const char* mode);
// std::fopen(path, "ab") and std::fopen(path, "wb"), with the same sharing
// on Windows, so that readers of a log or a report may rename it meanwhile.
// Null on failure, with errno set as fopen sets it.
std::FILE* OpenStreamForAppending(const std::string& path);
std::FILE* OpenStreamForWriting(const std::string& path);

// True when the open C stream `file` is a regular file (not a device, a pipe
// or a folder).
bool IsRegularFile(std::FILE* file);

// Whether two paths name one file, through links too. False when either
// cannot be looked at.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace platform
