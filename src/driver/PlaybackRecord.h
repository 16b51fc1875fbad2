// Reading the records of a playback file.
//
// A playback file is a plain run of records with no file header. Each record
// starts with a 32-byte header of eight 32-bit little-endian words: word 0
// is the number of bytes after it (record size - 4), word 6 the time stamp
// in units of 100 us; the rest of the header and the body are sent as they
// are.
//
// Every record is read at its own size, so records of different sizes are
// replayed as they were recorded. The size word comes from the file and is
// checked before it sizes anything: a record must hold its header, may not
// exceed kMaxRecordBytes and may not reach past the end of the file. A record that the file ends inside is reported and
// never sent. A time stamp of -1 marks the end of the recording.
//
// Thread safety: main thread only (works on the caller's file and buffer).
#pragma once

#include <cstdint>
#include <string>

#include "io/utFile.h"
#include "packet/SendBuffer.h"

namespace driver {

inline constexpr uint32_t kRecordHeaderBytes = 32;
inline constexpr int64_t kMaxRecordBytes = int64_t{256} * 1024 * 1024;
inline constexpr int32_t kEndTimeStamp = -1;

struct RecordRead {
  enum class Status {
    kRecord,     // the record is in the buffer
    kEnd,        // the file ended between records, or the end time stamp
    kTruncated,  // the file ends inside the record at `offset`
    kBadSize,    // the size word at `offset` is out of range
    kReadError,  // the system failed to read at `offset`
    kNoMemory,   // no buffer of `size` bytes could be had
  };
  Status status = Status::kEnd;
  int32_t timeStamp = kEndTimeStamp;
  int64_t size = 0;       // bytes of the record, header included
  int64_t offset = 0;     // where the record starts in the file
  uint32_t sizeWord = 0;  // header word 0 as read
};

// Reads the record at the file's position into `buffer`, which grows (and
// never shrinks) to the largest record seen; the record is its first
// `size` bytes.
RecordRead ReadNextRecord(io::utFile& file, packet::SendBuffer& buffer);

// One line (ending in "\n") that says what went wrong, for every status but
// kRecord and kEnd; empty for those.
std::string RecordProblemText(const RecordRead& read);

}  // namespace driver
