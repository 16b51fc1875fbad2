// utFile: a small wrapper over one platform file handle (a descriptor on POSIX, a HANDLE on
// Windows).
//
// The stress tool uses it to read the playback file record by record, so it
// carries only the operations that reading needs: Open, Read, Close, the
// 64-bit position and seek, IsClosed and the 64-bit size. They are virtual so
// that a test or a fuzzer can stand an in-memory file in for a real one.
//
// Results follow the rest of the driver: 0 for success, 1 for failure.
// Mode: 1 = read, 2 = read and write, 3 = write; any other mode fails without
// touching the system. Seek origin: 0 = from the start, 1 = from the end,
// 2 = from the current position; any other origin fails.
//
// Owns its descriptor (closed by the destructor); not copyable.
// Thread safety: one object per thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/File.h"

namespace io {

class utFile {
 public:
  static constexpr int32_t kModeRead = 1;
  static constexpr int32_t kModeReadWrite = 2;
  static constexpr int32_t kModeWrite = 3;

  static constexpr int32_t kOriginStart = 0;
  static constexpr int32_t kOriginEnd = 1;
  static constexpr int32_t kOriginCurrent = 2;

  utFile() = default;
  virtual ~utFile();
  utFile(const utFile&) = delete;
  utFile& operator=(const utFile&) = delete;

  // Closes any open file, then opens an existing one. `attributes` has no
  // meaning here and is accepted for the callers' sake.
  virtual int Open(const std::string& path, int32_t mode, uint32_t attributes = 0);
  // One system read of at most `length` bytes; `bytesRead` gets what came
  // (0 at the end of the file). 1 when no file is open or the read fails.
  virtual int Read(void* buffer, uint32_t length, uint32_t& bytesRead);
  // 1 when no file is open or closing fails; the object is closed after it
  // either way.
  virtual int Close();
  // The current position; -1 when no file is open.
  virtual int64_t GetPosition64();
  virtual int Seek64(int32_t origin, int64_t offset);
  virtual bool IsClosed() const { return !file_.IsOpen(); }
  // Why the last Open failed, naming the path and the system's words.
  const platform::Status& LastError() const { return lastError_; }

  // The file's size; `size` is 0 and the result 1 on failure.
  virtual int GetSize64(int64_t& size) const;

 private:
  platform::File file_;
  platform::Status lastError_;
};

}  // namespace io
