// Feeds arbitrary bytes to the parameter information file reader, for each
// source type and packet rate, and checks what must hold afterwards: the
// table within its capacity and a packet size that fits the records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "artefacts/ParmInfoFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static packet::ParmTable table;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int32_t rates[] = {50, 100, 200};
  for (int32_t sourceType : {packet::kSourceCustom, packet::kSourceNep}) {
    packet::PacketFormat format;
    format.sourceType = sourceType;
    format.packetRate = rates[size % 3];
    format.tagOffset = static_cast<int32_t>(size * 2654435761u);
    packet::PacketState state;
    table.parmCount = 0;
    std::istringstream in(text);
    artefacts::ParmInfoOutcome outcome = artefacts::ReadParmInfo(in, "fuzz", format, table, state);
    if (table.parmCount < 0 || table.parmCount > packet::kParmTableCapacity) std::abort();
    if (state.packetBufferSize < 44 && outcome.ok()) std::abort();
    int64_t slots = 0;
    for (int32_t i = 0; i < table.parmCount; ++i) {
      const packet::ParmRecord& r = table.records[i];
      if (!(r.sampleRate > 0.0)) std::abort();
      slots += r.packetsPerSample == 0 ? r.valuesPerPacket : 1;
    }
    const int64_t perSample = sourceType == packet::kSourceNep ? 8 : 6;
    if (outcome.ok() && state.packetBufferSize < perSample * slots) std::abort();
  }
  return 0;
}
