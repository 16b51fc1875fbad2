#include "driver/PlaybackRecord.h"

#include <cstring>
#include <string>

#include "platform/TextOut.h"

namespace driver {
namespace {

uint32_t WordAt(const uint8_t* bytes, size_t index) {
  const uint8_t* p = bytes + index * 4;
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Reads until `length` bytes came or the file ends; one system read may
// return less than asked even in the middle of a file.
bool ReadFully(io::utFile& file, uint8_t* into, int64_t length, int64_t& got) {
  got = 0;
  while (got < length) {
    const int64_t left = length - got;
    const uint32_t ask =
        left > (int64_t{1} << 30) ? (uint32_t{1} << 30) : static_cast<uint32_t>(left);
    uint32_t n = 0;
    if (file.Read(into + got, ask, n) != 0) return false;
    if (n == 0) break;
    got += n;
  }
  return true;
}

}  // namespace

RecordRead ReadNextRecord(io::utFile& file, packet::SendBuffer& buffer) {
  RecordRead read;
  read.offset = file.GetPosition64();
  uint8_t header[kRecordHeaderBytes];
  int64_t got = 0;
  if (!ReadFully(file, header, kRecordHeaderBytes, got)) {
    read.status = RecordRead::Status::kReadError;
    return read;
  }
  if (got == 0) return read;  // kEnd
  if (got < kRecordHeaderBytes) {
    read.status = RecordRead::Status::kTruncated;
    return read;
  }
  read.sizeWord = WordAt(header, 0);
  read.size = int64_t{read.sizeWord} + 4;
  if (read.size < kRecordHeaderBytes || read.size > kMaxRecordBytes) {
    read.status = RecordRead::Status::kBadSize;
    return read;
  }
  read.timeStamp = static_cast<int32_t>(WordAt(header, 6));
  if (read.timeStamp == kEndTimeStamp) return read;  // kEnd
  // A size word that points past the end of the file must not size the
  // buffer: the record is cut short whatever its body holds.
  int64_t fileSize = 0;
  if (file.GetSize64(fileSize) == 0 && read.offset >= 0 && read.offset + read.size > fileSize) {
    read.status = RecordRead::Status::kTruncated;
    return read;
  }
  if (read.size > buffer.size() && !buffer.Allocate(read.size)) {
    read.status = RecordRead::Status::kNoMemory;
    return read;
  }
  std::memcpy(buffer.data(), header, kRecordHeaderBytes);
  const int64_t body = read.size - kRecordHeaderBytes;
  if (!ReadFully(file, buffer.data() + kRecordHeaderBytes, body, got)) {
    read.status = RecordRead::Status::kReadError;
    return read;
  }
  read.status = got < body ? RecordRead::Status::kTruncated : RecordRead::Status::kRecord;
  return read;
}

std::string RecordProblemText(const RecordRead& read) {
  std::string text;
  const long long offset = static_cast<long long>(read.offset);
  switch (read.status) {
    case RecordRead::Status::kRecord:
    case RecordRead::Status::kEnd:
      break;
    case RecordRead::Status::kTruncated:
      platform::AppendFormat(
          text, "- The file ends inside the record at offset %lld; it was not sent\n", offset);
      break;
    case RecordRead::Status::kBadSize:
      platform::AppendFormat(text,
                             "** Error - The record at offset %lld gives its size as %lld bytes; a "
                             "record holds %u to %lld bytes\n",
                             offset, static_cast<long long>(read.size), kRecordHeaderBytes,
                             static_cast<long long>(kMaxRecordBytes));
      break;
    case RecordRead::Status::kReadError:
      platform::AppendFormat(text, "** Error - Reading the record at offset %lld failed\n", offset);
      break;
    case RecordRead::Status::kNoMemory:
      platform::AppendFormat(text, "** Error - No memory for the %lld-byte record at offset %lld\n",
                             static_cast<long long>(read.size), offset);
      break;
  }
  return text;
}

}  // namespace driver
