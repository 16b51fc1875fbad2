// Reading the records of a playback file (the format is in
// io/RecordHeader.h) whole, to send them.
//
// Every record is read at its own size, so records of different sizes are
// replayed as they were recorded. A record that the file ends inside is
// reported and never sent; its size word never sizes the buffer.
//
// Thread safety: main thread only (works on the caller's file and buffer).
#pragma once

#include <cstdint>
#include <string>

#include "io/RecordHeader.h"
#include "io/utFile.h"
#include "packet/SendBuffer.h"

namespace driver {

using io::kEndTimeStamp;
using io::kMaxRecordBytes;
using io::kRecordHeaderBytes;
using RecordRead = io::RecordHead;

// Reads the record at the file's position into `buffer`, which grows (and
// never shrinks) to the largest record seen; the record is its first
// `size` bytes.
RecordRead ReadNextRecord(io::utFile& file, packet::SendBuffer& buffer);

// One line (ending in "\n") that says what went wrong, for every status but
// kRecord and kEnd; empty for those.
std::string RecordProblemText(const RecordRead& read);

}  // namespace driver
