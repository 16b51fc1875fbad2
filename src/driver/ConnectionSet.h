// Several YEB connections at once (/Connections N): one stream, built once,
// sent byte for byte to every connection, and a slow reader holds up no one.
//
// The streaming loop hands each packet to the set as to one connection.
// The set copies it once into a shared buffer and queues a pointer to it
// for every open connection (PacketQueue.h); each connection has its own
// sender thread that takes its queue's packets and sends them with the
// same blocking socket calls as a single connection. The loop never waits
// for a socket, so its pacing, its lateness and its "Behind schedule"
// figures are what they would be with one fast reader.
//
// Why a thread per connection and not one thread polling non-blocking
// sockets: the send stays the one blocking call, with the same code on
// every system (no poll twin for Windows, no partial-send state kept per
// socket), and at most 16 threads are cheap. Each thread touches only its
// own socket, its queue (under the queue's lock) and its atomic counters;
// everything else, the console and the statistics file included, belongs
// to the loop's thread. A thread is always joined: when it has said it is
// finished (so the loop never waits for a socket), or when the transfer ends.
//
// Each connection's queue holds at most one second of packets (the packet
// rate) and at most 256 MiB. A connection whose queue is full is closed
// with a line that names it, its address and how far behind it was; the
// others carry on. Between packets the set takes any connection already
// waiting at the listener: it gets the Custom greeting (Custom source) and
// the stream from the next packet on. Connections beyond N are taken and
// closed at once with a line. When the last connection has gone, Send
// fails and the transfer ends as when the one YEB goes away.
//
// At the end of a transfer each sender is given up to a second to send what
// is queued (a truncation fault's last bytes, the packets of a key press's
// last moment), then its connection is closed.
//
// Thread safety: every member is called from the streaming loop's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/PacketSink.h"
#include "driver/RunEnvironment.h"
#include "net/utServerSocket.h"

namespace driver {

inline constexpr int32_t kMaxConnections = 16;
inline constexpr int64_t kMaxQueueBytes = int64_t{256} << 20;

struct ConnectionSetOptions {
  int32_t maxConnections = 2;
  int32_t packetRate = 50;     // a queue holds at most this many packets
  bool customGreeting = true;  // joiners get the Custom greeting first
};

// "a.b.c.d:port".
std::string AddressText(const platform::SocketAddress& address);

class ConnectionSet final : public PacketSink {
 public:
  // `connectionCount` numbers the connections of the run; each connection
  // taken adds one to it. Connect and end events go to `stats.file`.
  ConnectionSet(net::utServerSocket& listener, const ConnectionSetOptions& options,
                RunEnvironment& env, StatsFile* stats, int64_t& connectionCount);
  ~ConnectionSet() override;
  ConnectionSet(const ConnectionSet&) = delete;
  ConnectionSet& operator=(const ConnectionSet&) = delete;

  // Takes over an accepted connection; `greet`: send the greeting first
  // (false when it has already gone out).
  void Add(std::unique_ptr<net::utServerSocket> socket, bool greet);

  bool Send(const uint8_t* bytes, int32_t length,
            const net::utServerSocket::GiveUpCheck& giveUp) override;
  SinkCycleReport TakeCycleReport() override;
  void TransferEnded(TransferEnd end) override;

  // Connections open and not being closed.
  size_t open() const;

 private:
  class Connection;

  void TakeWaitingConnections();
  void CloseBehind(Connection& c, int64_t nowNs);
  // Joins the senders that have finished and writes their end events.
  void ReapFinished();
  void Finish(Connection& c, const char* reason);

  net::utServerSocket& listener_;
  const ConnectionSetOptions options_;
  RunEnvironment& env_;
  StatsFile* stats_;
  int64_t& connectionCount_;
  std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace driver
