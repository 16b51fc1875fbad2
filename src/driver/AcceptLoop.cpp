#include "driver/AcceptLoop.h"

#include "driver/Reasons.h"
#include "packet/PacketBuilder.h"
#include "platform/Termination.h"

namespace driver {

Accepted AcceptGreeted(net::utServerSocket& listener, bool greet,
                       const net::utServerSocket::GiveUpCheck& giveUp, platform::TextOut& out) {
  for (;;) {
    platform::Printf(out, "- Blocked waiting for connect by the YEB on Port: ( %d )\n",
                     static_cast<int>(listener.BoundPort()));
    Accepted accepted;
    accepted.connection = listener.Accept(giveUp);
    if (!accepted.connection) {
      if (platform::TerminationRequested()) {
        accepted.end = AcceptEnd::kTerminated;
      } else if (giveUp && giveUp()) {
        accepted.end = AcceptEnd::kGaveUp;
      } else {
        out.Write("Bad Socket on Accept - quiting...\n");
        PrintReason(out, listener.LastError());
      }
      return accepted;
    }
    if (greet && (accepted.connection->Send(packet::kCustomGreeting, 1) != 0 ||
                  accepted.connection->Send(packet::kCustomGreeting + 1, 4) != 0)) {
      out.Write("Connection Terminated - Start again...\n");
      continue;
    }
    accepted.end = AcceptEnd::kConnected;
    return accepted;
  }
}

}  // namespace driver
