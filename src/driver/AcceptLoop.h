// The wait for the YEB, shared by the synthetic stream and playback.
//
// Prints "- Blocked waiting for connect by the YEB on Port: ( P )" with the
// port really listened on (the one the system chose for /PortId 0), takes
// the next connection, and for a Custom source sends the greeting first. A
// connection that goes before its greeting is out is let go with
// "Connection Terminated - Start again..." and the wait begins again, so a
// probe that connects and leaves costs the run nothing.
//
// Thread safety: one caller, the main thread.
#pragma once

#include <memory>

#include "net/utServerSocket.h"
#include "platform/TextOut.h"

namespace driver {

enum class AcceptEnd {
  kConnected,
  kTerminated,  // SIGINT or SIGTERM arrived while waiting
  kGaveUp,      // `giveUp` said so (the end of /Duration)
  kBadAccept,   // accept failed; the line and its reason are printed
};

struct Accepted {
  AcceptEnd end = AcceptEnd::kBadAccept;
  std::unique_ptr<net::utServerSocket> connection;  // set with kConnected
};

Accepted AcceptGreeted(net::utServerSocket& listener, bool greet,
                       const net::utServerSocket::GiveUpCheck& giveUp, platform::TextOut& out);

}  // namespace driver
