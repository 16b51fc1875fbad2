// The record headers of a playback file, read without the records' bodies.
//
// A playback file is a plain run of records with no file header. Each record
// starts with a 32-byte header of eight 32-bit little-endian words: word 0
// is the number of bytes after it (record size - 4), word 6 the time stamp
// in units of 100 us; the rest of the header and the body are sent as they
// are. A time stamp of -1 marks the end of the recording.
//
// Walking the headers (for a summary, a start point or a verifier) reads 32
// bytes per record and jumps over the body, so a file of large records is
// walked at the speed of the system's positioned reads, not of the disk.
// Offsets and counts are 64-bit throughout: files pass 4 GiB.
//
// The size word comes from the file and is checked before anything trusts
// it: a record must hold its header, may not exceed kMaxRecordBytes and may
// not reach past the end of the file.
//
// Thread safety: one walk per source at a time.
#pragma once

#include <cstdint>
#include <functional>

#include "io/utFile.h"

namespace io {

inline constexpr uint32_t kRecordHeaderBytes = 32;
inline constexpr int64_t kMaxRecordBytes = int64_t{256} * 1024 * 1024;
inline constexpr int32_t kEndTimeStamp = -1;

struct RecordHead {
  enum class Status {
    kRecord,     // a whole record lies at `offset`
    kEnd,        // the file ended between records, or the end time stamp
    kTruncated,  // the file ends inside the record at `offset`
    kBadSize,    // the size word at `offset` is out of range
    kReadError,  // the system failed to read at `offset`
    kNoMemory,   // no buffer of `size` bytes could be had (whole reads only)
  };
  Status status = Status::kEnd;
  int32_t timeStamp = kEndTimeStamp;
  int64_t size = 0;       // bytes of the record, header included
  int64_t offset = 0;     // where the record starts in the file
  uint32_t sizeWord = 0;  // header word 0 as read
};

// Where headers are read from: a file, or bytes in memory for a test.
class RecordSource {
 public:
  virtual ~RecordSource() = default;
  // The size in bytes; false when it cannot be had.
  virtual bool Size(int64_t& size) = 0;
  // Reads up to `length` bytes at `offset`; fewer only at the end of the
  // file. False on a read error.
  virtual bool ReadAt(int64_t offset, uint8_t* into, uint32_t length, uint32_t& got) = 0;
};

// A source over an open utFile; moves the file's position.
class FileRecordSource final : public RecordSource {
 public:
  explicit FileRecordSource(utFile& file) : file_(file) {}
  bool Size(int64_t& size) override { return file_.GetSize64(size) == 0; }
  bool ReadAt(int64_t offset, uint8_t* into, uint32_t length, uint32_t& got) override;

 private:
  utFile& file_;
};

// Reads until `length` bytes came or the file ends; one system read may
// return less than asked even in the middle of a file.
bool ReadFully(utFile& file, uint8_t* into, int64_t length, int64_t& got);

// Decodes the 32 header bytes of the record at `offset` of a file of
// `fileSize` bytes (negative: unknown, so not checked against).
RecordHead DecodeHeader(const uint8_t* header, int64_t offset, int64_t fileSize);

// The header of the record at `offset`.
RecordHead ReadHeaderAt(RecordSource& source, int64_t offset, int64_t fileSize);

// Calls `visit` with every whole record's header from `offset` on, in file
// order, while it returns true. The result is the header that ended the
// walk: kRecord when `visit` stopped it (that record), else why there was
// no further record.
RecordHead WalkHeaders(RecordSource& source, int64_t offset,
                       const std::function<bool(const RecordHead&)>& visit);

}  // namespace io
