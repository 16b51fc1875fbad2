// The process-wide instances of the run settings, the parameter table and
// the packet state.
#include "packet/PacketState.h"
#include "packet/ParmTable.h"
#include "packet/RunSettings.h"

namespace packet {

ParmTable::ParmTable() : records(new ParmRecord[kParmTableCapacity]) {}

RunSettings& Settings() {
  static RunSettings settings;
  return settings;
}

void ResetRunSettings() { Settings() = RunSettings{}; }

ParmTable& Parms() {
  static ParmTable table;
  return table;
}

void ResetParmTable() {
  ParmTable& table = Parms();
  for (int32_t i = 0; i < table.parmCount; ++i) table.records[i] = ParmRecord{};
  table.parmCount = 0;
}

PacketState& Packets() {
  static PacketState state;
  return state;
}

void ResetPacketState() { Packets() = PacketState{}; }

}  // namespace packet
