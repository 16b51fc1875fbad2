#include "io/RecordHeader.h"

namespace io {
namespace {

uint32_t WordAt(const uint8_t* bytes, size_t index) {
  const uint8_t* p = bytes + index * 4;
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

bool FileRecordSource::ReadAt(int64_t offset, uint8_t* into, uint32_t length, uint32_t& got) {
  got = 0;
  if (file_.Seek64(utFile::kOriginStart, offset) != 0) return false;
  int64_t read = 0;
  if (!ReadFully(file_, into, length, read)) return false;
  got = static_cast<uint32_t>(read);
  return true;
}

bool ReadFully(utFile& file, uint8_t* into, int64_t length, int64_t& got) {
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

RecordHead DecodeHeader(const uint8_t* header, int64_t offset, int64_t fileSize) {
  RecordHead head;
  head.offset = offset;
  head.sizeWord = WordAt(header, 0);
  head.size = int64_t{head.sizeWord} + 4;
  if (head.size < kRecordHeaderBytes || head.size > kMaxRecordBytes) {
    head.status = RecordHead::Status::kBadSize;
    return head;
  }
  head.timeStamp = static_cast<int32_t>(WordAt(header, 6));
  if (head.timeStamp == kEndTimeStamp) return head;  // kEnd
  // A size word that points past the end of the file must not size a
  // buffer: the record is cut short whatever its body holds.
  if (fileSize >= 0 && offset >= 0 && offset + head.size > fileSize) {
    head.status = RecordHead::Status::kTruncated;
    return head;
  }
  head.status = RecordHead::Status::kRecord;
  return head;
}

RecordHead ReadHeaderAt(RecordSource& source, int64_t offset, int64_t fileSize) {
  RecordHead head;
  head.offset = offset;
  uint8_t header[kRecordHeaderBytes];
  uint32_t got = 0;
  if (!source.ReadAt(offset, header, kRecordHeaderBytes, got)) {
    head.status = RecordHead::Status::kReadError;
    return head;
  }
  if (got == 0) return head;  // kEnd
  if (got < kRecordHeaderBytes) {
    head.status = RecordHead::Status::kTruncated;
    return head;
  }
  return DecodeHeader(header, offset, fileSize);
}

RecordHead WalkHeaders(RecordSource& source, int64_t offset,
                       const std::function<bool(const RecordHead&)>& visit) {
  int64_t fileSize = -1;
  if (!source.Size(fileSize)) fileSize = -1;
  for (;;) {
    RecordHead head = ReadHeaderAt(source, offset, fileSize);
    if (head.status != RecordHead::Status::kRecord || !visit(head)) return head;
    offset += head.size;
  }
}

}  // namespace io
