#include "driver/ValueLog.h"

#include <bit>
#include <cerrno>
#include <cstring>

#include "packet/ValueCsv.h"
#include "platform/File.h"

namespace driver {
namespace {

// A second of a large log is tens of megabytes: written in pieces of this
// size as the packets go out, no one write holds up the stream for long.
constexpr size_t kWriteChunkBytes = 256 * 1024;

}  // namespace

platform::Status ValueLog::Open(const std::string& path, std::string runId,
                                const std::vector<std::string>* names,
                                const packet::ParmTable* table, bool nepTags,
                                platform::TextOut& console, std::unique_ptr<ValueLog>& out) {
  std::FILE* file = platform::OpenStreamForAppending(path);
  if (file == nullptr) return platform::Status::IoError(std::strerror(errno));
  out.reset(new ValueLog(file, path, std::move(runId), names, table, nepTags, console));
  std::fseek(file, 0, SEEK_END);
  if (std::ftell(file) == 0) out->pending_ = packet::kValueCsvHeader;
  return platform::Status::Ok();
}

ValueLog::ValueLog(std::FILE* file, std::string path, std::string runId,
                   const std::vector<std::string>* names, const packet::ParmTable* table,
                   bool nepTags, platform::TextOut& console)
    : file_(file),
      path_(std::move(path)),
      runId_(std::move(runId)),
      names_(names),
      table_(table),
      nepTags_(nepTags),
      console_(console) {}

ValueLog::~ValueLog() {
  Flush();
  if (file_ != nullptr) std::fclose(file_);
}

void ValueLog::Add(const SentPacket& packet, const std::vector<packet::SampleTap>& taps) {
  if (file_ == nullptr) return;
  packet::ValueCsvSample line;
  line.run = runId_;
  line.connection = packet.connection;
  line.sequence = packet.sequence;
  line.packetTimeNs = packet.packetTimeNs;
  for (const packet::SampleTap& tap : taps) {
    const packet::ParmRecord& record = table_->records[tap.record];
    line.j = tap.j;
    line.rate = record.sampleRate;
    line.parameter = (*names_)[static_cast<size_t>(tap.record)];
    line.tag = nepTags_ ? static_cast<uint32_t>(record.nepTag) : record.tag;
    line.sample = tap.n;
    std::memcpy(&line.valueBits, packet.bytes + tap.offset, 4);
    if constexpr (std::endian::native == std::endian::big) {
      line.valueBits = __builtin_bswap32(line.valueBits);
    }
    packet::AppendValueCsvLine(pending_, line);
  }
  if (pending_.size() >= kWriteChunkBytes) Write(/*flush=*/false);
}

bool ValueLog::Flush() { return Write(/*flush=*/true); }

bool ValueLog::Write(bool flush) {
  if (file_ == nullptr) return false;
  if (pending_.empty() && !flush) return true;
  const bool written = std::fwrite(pending_.data(), 1, pending_.size(), file_) == pending_.size() &&
                       (!flush || std::fflush(file_) == 0);
  pending_.clear();
  if (!written) {
    platform::Printf(console_,
                     "** Warning - Writing the value log %s failed (%s); it is no longer written\n",
                     path_.c_str(), std::strerror(errno));
    std::fclose(file_);
    file_ = nullptr;
  }
  return written;
}

}  // namespace driver
