#include "driver/PlaybackRecord.h"

#include <cstring>
#include <string>

#include "platform/TextOut.h"

namespace driver {

RecordRead ReadNextRecord(io::utFile& file, packet::SendBuffer& buffer) {
  RecordRead read;
  read.offset = file.GetPosition64();
  uint8_t header[kRecordHeaderBytes];
  int64_t got = 0;
  if (!io::ReadFully(file, header, kRecordHeaderBytes, got)) {
    read.status = RecordRead::Status::kReadError;
    return read;
  }
  if (got == 0) return read;  // kEnd
  if (got < kRecordHeaderBytes) {
    read.status = RecordRead::Status::kTruncated;
    return read;
  }
  int64_t fileSize = 0;
  if (file.GetSize64(fileSize) != 0) fileSize = -1;
  read = io::DecodeHeader(header, read.offset, fileSize);
  if (read.status != RecordRead::Status::kRecord) return read;
  if (read.size > buffer.size() && !buffer.Allocate(read.size)) {
    read.status = RecordRead::Status::kNoMemory;
    return read;
  }
  std::memcpy(buffer.data(), header, kRecordHeaderBytes);
  const int64_t body = read.size - kRecordHeaderBytes;
  if (!io::ReadFully(file, buffer.data() + kRecordHeaderBytes, body, got)) {
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
