// The process-wide instances of the run settings, the parameter table and
// the packet state.
#include "driver/ProcessState.h"

#include "driver/RunSettings.h"

namespace driver {

RunSettings& Settings() {
  static RunSettings settings;
  return settings;
}

void ResetRunSettings() { Settings() = RunSettings{}; }

packet::ParmTable& Parms() {
  static packet::ParmTable table;
  return table;
}

void ResetParmTable() {
  packet::ParmTable& table = Parms();
  for (int32_t i = 0; i < table.parmCount; ++i) table.records[i] = packet::ParmRecord{};
  table.parmCount = 0;
}

packet::PacketState& Packets() {
  static packet::PacketState state;
  return state;
}

void ResetPacketState() { Packets() = packet::PacketState{}; }

}  // namespace driver
