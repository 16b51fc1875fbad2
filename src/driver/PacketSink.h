// Where the streaming loop hands each packet it has built.
//
// One connection (the tool as it always was) sends straight on the socket,
// blocking as long as the YEB needs; several connections at once
// (/Connections, ConnectionSet.h) queue the packet for each of them and
// return at once. The loop's pacing is the same either way: the sink only
// decides what "sent" means.
//
// Thread safety: the streaming loop's thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/CycleStats.h"
#include "driver/StatsFile.h"
#include "net/utServerSocket.h"

namespace driver {

// What a sink adds to the once-a-cycle report: a console line (empty for
// none) and fields of the cycle event.
struct SinkCycleReport {
  std::string line;
  std::vector<StatsField> fields;
};

class PacketSink {
 public:
  virtual ~PacketSink() = default;
  // Hands over `length` bytes. False when the transfer must end: the
  // connection failed, or (several connections) none is left open.
  virtual bool Send(const uint8_t* bytes, int32_t length,
                    const net::utServerSocket::GiveUpCheck& giveUp) = 0;
  // Called once a cycle.
  virtual SinkCycleReport TakeCycleReport() { return {}; }
  // The transfer has ended, for the reason given.
  virtual void TransferEnded(TransferEnd /*end*/) {}
};

// The one accepted connection, written to directly.
class SocketSink final : public PacketSink {
 public:
  explicit SocketSink(net::utServerSocket& connection) : connection_(connection) {}
  bool Send(const uint8_t* bytes, int32_t length,
            const net::utServerSocket::GiveUpCheck& giveUp) override {
    return connection_.Send(bytes, length, giveUp) == 0;
  }

 private:
  net::utServerSocket& connection_;
};

}  // namespace driver
