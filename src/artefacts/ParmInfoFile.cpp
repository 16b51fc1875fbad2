#include "artefacts/ParmInfoFile.h"

#include <limits>
#include <streambuf>

#include "packet/SendBuffer.h"
#include "platform/File.h"
#include "platform/NumberText.h"
#include "platform/Termination.h"

namespace artefacts {
namespace {

constexpr int64_t kMaxPacketSize = std::numeric_limits<int32_t>::max();

std::string_view Trim(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size() && platform::IsBlank(text[begin])) ++begin;
  size_t end = text.size();
  while (end > begin && platform::IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// A read-only stream buffer over an open file that tells a read error from
// the end of the file: the error reaches the stream as its bad bit
// (std::filebuf would report both as the end). A termination request ends
// an interrupted read as an error.
class FileReadBuffer final : public std::streambuf {
 public:
  explicit FileReadBuffer(platform::File& file) : file_(file) {}

 protected:
  int_type underflow() override {
    const int64_t n = file_.Read(buffer_, sizeof buffer_);
    if (n < 0) throw std::ios_base::failure("read failed");
    if (n == 0) return traits_type::eof();
    setg(buffer_, buffer_, buffer_ + n);
    return traits_type::to_int_type(buffer_[0]);
  }

 private:
  platform::File& file_;
  char buffer_[1 << 16];
};

enum class LineRead { kLine, kEnd, kTooLong, kError };

// One line without its line feed, of at most kMaxParmInfoLine bytes.
LineRead ReadBoundedLine(std::istream& in, std::string& line) {
  line.clear();
  std::streambuf* buffer = in.rdbuf();
  for (;;) {
    std::streambuf::int_type c;
    try {
      c = buffer->sbumpc();
    } catch (const std::ios_base::failure&) {
      return LineRead::kError;
    }
    if (std::streambuf::traits_type::eq_int_type(c, std::streambuf::traits_type::eof())) {
      return line.empty() ? LineRead::kEnd : LineRead::kLine;
    }
    if (c == '\n') return LineRead::kLine;
    if (line.size() == kMaxParmInfoLine) return LineRead::kTooLong;
    line.push_back(static_cast<char>(c));
  }
}

// Why a line that is neither blank nor a comment adds no parameters.
std::string SkipReason(const ParmInfoLine& parsed) {
  if (parsed.kind == ParmInfoLine::Kind::kSkipped) {
    std::string_view rate = Trim(parsed.rateText);
    if (rate.empty()) return "no rate";
    return "the rate \"" + std::string(rate.substr(0, 40)) + "\" is not a number above 0";
  }
  return "the count \"" + std::string(Trim(parsed.countText).substr(0, 40)) +
         "\" adds no parameters";
}

// Bytes one sample takes in a packet of the source type.
int64_t BytesPerSample(int32_t sourceType) { return sourceType == packet::kSourceNep ? 8 : 6; }

}  // namespace

ParmInfoLine ParseParmInfoLine(std::string_view line) {
  ParmInfoLine result;
  std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.starts_with("//")) return result;
  // Fields are not trimmed one by one: the number readers skip leading
  // blanks and ignore whatever follows the number.
  size_t comma = trimmed.find(',');
  std::string_view countField = trimmed.substr(0, comma);
  std::string_view rateField;
  if (comma != std::string_view::npos) {
    rateField = trimmed.substr(comma + 1);
    rateField = rateField.substr(0, rateField.find(','));
  }
  result.countText = countField;
  result.rateText = rateField;
  result.count = platform::ReadInt32(countField);
  result.rate = platform::ReadFiniteDouble(rateField);
  result.kind = result.rate > 0.0 ? ParmInfoLine::Kind::kAccepted : ParmInfoLine::Kind::kSkipped;
  return result;
}

ParmInfoOutcome ReadParmInfo(std::istream& in, const std::string& fileName,
                             const packet::PacketFormat& format, packet::ParmTable& table,
                             packet::PacketState& state) {
  ParmInfoOutcome outcome;
  const int32_t packetRate = format.packetRate;
  const bool nep = format.sourceType == packet::kSourceNep;
  state.timeValuesPerPacket = static_cast<int32_t>(packet::timeWordRate) / packetRate;
  int64_t size = nep ? 4 + 12 * int64_t{state.timeValuesPerPacket}
                     : 32 + 12 + 6 * int64_t{state.timeValuesPerPacket};
  // Tags are worked out in unsigned arithmetic: the Custom tag wraps in 16
  // bits, the NEP tag in 32, whatever the offset.
  const uint32_t offset = static_cast<uint32_t>(format.tagOffset);
  uint16_t nextTag = static_cast<uint16_t>(offset + 3);
  uint32_t nextNepTag = offset + 2;

  std::string line;
  int64_t lineNumber = 0;
  int64_t skipped = 0;
  auto refuse = [&](ParmInfoOutcome::Status status, const std::string& what) {
    outcome.status = status;
    outcome.lineNumber = lineNumber;
    outcome.message = "** Error - " + fileName + " line " + std::to_string(lineNumber) + what;
    return outcome;
  };
  for (;;) {
    if (platform::TerminationRequested()) {
      return refuse(ParmInfoOutcome::Status::kInterrupted,
                    ": reading stopped, the process is ending\n");
    }
    const LineRead read = ReadBoundedLine(in, line);
    if (read == LineRead::kEnd) break;
    ++lineNumber;
    if (read == LineRead::kTooLong) {
      return refuse(ParmInfoOutcome::Status::kLineTooLong,
                    " is longer than " + std::to_string(kMaxParmInfoLine) + " bytes\n");
    }
    if (read == LineRead::kError && platform::TerminationRequested()) {
      return refuse(ParmInfoOutcome::Status::kInterrupted,
                    ": reading stopped, the process is ending\n");
    }
    if (read == LineRead::kError) {
      return refuse(ParmInfoOutcome::Status::kReadError, ": reading the file failed\n");
    }
    const ParmInfoLine parsed = ParseParmInfoLine(line);
    if (parsed.kind == ParmInfoLine::Kind::kIgnored) continue;
    if (parsed.kind == ParmInfoLine::Kind::kSkipped || parsed.count <= 0) {
      if (++skipped <= kMaxSkipNotices) {
        outcome.notices +=
            "- Line " + std::to_string(lineNumber) + " skipped: " + SkipReason(parsed) + "\n";
      }
      continue;
    }
    const int32_t count = parsed.count;
    const double rate = parsed.rate;

    if (count > packet::kParmTableCapacity - table.parmCount) {
      outcome.status = ParmInfoOutcome::Status::kTooManyRecords;
      outcome.lineNumber = lineNumber;
      outcome.message = "** Error - " + fileName + " line " + std::to_string(lineNumber) +
                        " asks for more than " + std::to_string(packet::kParmTableCapacity) +
                        " parameters\n";
      return outcome;
    }

    packet::ParmRecord record;
    record.sampleRate = rate;
    int64_t slots = count;  // a slow parameter has one slot per packet
    if (static_cast<double>(packetRate) <= rate) {
      record.valuesPerPacket = platform::TruncateToInt32(rate / packetRate);
      slots = int64_t{count} * record.valuesPerPacket;  // < 2^18 * 2^31: no overflow
    } else {
      record.packetsPerSample = platform::TruncateToInt32(packetRate / rate);
    }
    const int64_t grownSize = size + BytesPerSample(format.sourceType) * slots;
    if (grownSize > kMaxPacketSize) {
      outcome.status = ParmInfoOutcome::Status::kPacketTooLarge;
      outcome.lineNumber = lineNumber;
      outcome.message = "** Error - " + fileName + " line " + std::to_string(lineNumber) +
                        " makes the packet larger than " + std::to_string(kMaxPacketSize) +
                        " bytes\n";
      return outcome;
    }
    size = grownSize;

    for (int32_t i = 0; i < count; ++i) {
      packet::ParmRecord& slot = table.records[table.parmCount + i];
      slot = record;
      if (nep) {
        slot.nepTag = static_cast<int32_t>(nextNepTag++);
      } else {
        slot.tag = nextTag++;
      }
    }
    table.parmCount += count;
    state.packetBufferSize = static_cast<int32_t>(size);
  }
  state.packetBufferSize = static_cast<int32_t>(size);
  if (skipped > kMaxSkipNotices) {
    outcome.notices += "- " + std::to_string(skipped - kMaxSkipNotices) + " more lines skipped\n";
  }
  return outcome;
}

ParmInfoOutcome ProcessParmInfoFile(const std::string& name, const packet::PacketFormat& format,
                                    packet::ParmTable& table, packet::PacketState& state) {
  ParmInfoOutcome outcome;
  platform::File fileHandle;
  // A folder reads as an empty file and a device as an endless one: only a
  // regular file can be a parameter list.
  const platform::File::OpenResult opened = fileHandle.OpenRegularForReading(name, &outcome.reason);
  if (opened == platform::File::OpenResult::kCannotOpen) {
    outcome.status = ParmInfoOutcome::Status::kCannotOpen;
    return outcome;
  }
  if (opened == platform::File::OpenResult::kNotRegular) {
    outcome.status = ParmInfoOutcome::Status::kNotRegular;
    return outcome;
  }
  FileReadBuffer buffer(fileHandle);
  std::istream file(&buffer);
  const int32_t countBefore = table.parmCount;
  outcome = ReadParmInfo(file, name, format, table, state);
  fileHandle.Close();
  if (!outcome.ok()) return outcome;
  if (table.parmCount == countBefore) {
    outcome.status = ParmInfoOutcome::Status::kNoParameters;
    outcome.message = "** Error - " + name + " gives no parameters\n";
    return outcome;
  }
  if (!packet::CanAllocate(state.packetBufferSize)) {
    outcome.status = ParmInfoOutcome::Status::kNoMemory;
    // Otherwise the operator sees only "Unable to Open File" for a file
    // that opened well and asked for more than the machine has.
    outcome.reason = platform::Status::IoError(name + ": its parameters make a packet of " +
                                               std::to_string(state.packetBufferSize) +
                                               " bytes, more memory than the program can have");
  }
  return outcome;
}

}  // namespace artefacts
