#include "artefacts/ParmInfoFile.h"

#include <fstream>
#include <limits>

#include "packet/DecimalText.h"
#include "packet/SendBuffer.h"

namespace artefacts {
namespace {

constexpr int64_t kMaxPacketSize = std::numeric_limits<int32_t>::max();

std::string_view Trim(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size() && packet::IsBlank(text[begin])) ++begin;
  size_t end = text.size();
  while (end > begin && packet::IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
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
  result.count = packet::ReadDecimalInt32(countField);
  result.rate = packet::ReadDecimalDouble(rateField);
  result.kind = result.rate > 0.0 ? ParmInfoLine::Kind::kAccepted : ParmInfoLine::Kind::kSkipped;
  return result;
}

ParmInfoOutcome ReadParmInfo(std::istream& in, const std::string& fileName,
                             const packet::RunSettings& settings, packet::ParmTable& table,
                             packet::PacketState& state) {
  ParmInfoOutcome outcome;
  const int32_t packetRate = settings.packetRate;
  const bool nep = settings.sourceType == packet::kSourceNep;
  state.timeValuesPerPacket = static_cast<int32_t>(packet::timeWordRate) / packetRate;
  int64_t size = nep ? 4 + 12 * int64_t{state.timeValuesPerPacket}
                     : 32 + 12 + 6 * int64_t{state.timeValuesPerPacket};
  // Tags are worked out in unsigned arithmetic: the Custom tag wraps in 16
  // bits, the NEP tag in 32, whatever the offset.
  const uint32_t offset = static_cast<uint32_t>(settings.tagOffset);
  uint16_t nextTag = static_cast<uint16_t>(offset + 3);
  uint32_t nextNepTag = offset + 2;

  std::string line;
  int64_t lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    const ParmInfoLine parsed = ParseParmInfoLine(line);
    if (parsed.kind != ParmInfoLine::Kind::kAccepted || parsed.count <= 0) continue;
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
      record.valuesPerPacket = packet::TruncateToInt32(rate / packetRate);
      slots = int64_t{count} * record.valuesPerPacket;  // < 2^18 * 2^31: no overflow
    } else {
      record.packetsPerSample = packet::TruncateToInt32(packetRate / rate);
    }
    const int64_t grownSize = size + BytesPerSample(settings.sourceType) * slots;
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
  return outcome;
}

ParmInfoOutcome ProcessParmInfoFile() {
  const packet::RunSettings& settings = packet::Settings();
  std::ifstream file(settings.parmInfoFileName, std::ios::binary);
  if (!file.is_open()) {
    ParmInfoOutcome outcome;
    outcome.status = ParmInfoOutcome::Status::kCannotOpen;
    return outcome;
  }
  packet::PacketState& state = packet::Packets();
  ParmInfoOutcome outcome =
      ReadParmInfo(file, settings.parmInfoFileName, settings, packet::Parms(), state);
  if (!outcome.ok()) return outcome;
  if (!packet::CanAllocate(state.packetBufferSize))
    outcome.status = ParmInfoOutcome::Status::kNoMemory;
  return outcome;
}

}  // namespace artefacts
