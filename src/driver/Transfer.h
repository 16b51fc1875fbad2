// One transfer: streaming packets over one accepted connection.
//
// Builds a packet for the source type, sends it, waits for the packet's due
// time (see Pacing.h), and once per one-second cycle holds the cycle to at
// least a second and prints the statistics and the data time. A cycle in
// which a packet went out more than a period late, or in which the schedule
// had to start again, adds a "- Behind schedule" line. It ends when
// a send fails (the YEB went away), when a key is pressed (the key is
// consumed) or when a termination signal arrived; a send that waits for a
// YEB that stopped reading still notices the key or the signal.
//
// The jump toggle of /TimeJump carries over from one transfer to the next
// in StreamState; the packet state carries over in Packets().
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>

#include "driver/CycleStats.h"
#include "driver/PacketSink.h"
#include "driver/RunEnvironment.h"
#include "net/utServerSocket.h"
#include "packet/SendBuffer.h"

namespace driver {

struct StreamState {
  int32_t jumpToggle = 0;  // 1 after an odd number of time jumps
};

StreamState& Streams();
void ResetStreamState();

// Runs one transfer with the process-wide settings, table and packet state.
// Its connect, cycle and end events go to `stats`.
void RunTransfer(net::utServerSocket& connection, packet::SendBuffer& sendBuffer,
                 RunEnvironment& env, StatsTarget stats = {});
// The same, handing the packets to `sink` (several connections at once).
void RunTransfer(PacketSink& sink, packet::SendBuffer& sendBuffer, RunEnvironment& env,
                 StatsTarget stats = {});

}  // namespace driver
