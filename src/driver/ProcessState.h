// The run's parameter table and packet state: one of each per process,
// filled by the parameter file reader and carried from one transfer to the
// next. Tests reset them with ResetParmTable() and ResetPacketState(), or
// build their own and leave these alone.
//
// Thread safety: main thread only.
#pragma once

#include "packet/PacketState.h"
#include "packet/ParmTable.h"

namespace driver {

packet::ParmTable& Parms();
void ResetParmTable();

packet::PacketState& Packets();
void ResetPacketState();

}  // namespace driver
