// utServerSocket: the program's TCP server socket, a thin blocking wrapper
// over the platform's sockets (platform/Socket.h).
//
// One listening object lives for the whole run; Accept hands back a second
// object of the same class for each connection, which the caller owns and
// destroys (closing the socket) before the next Accept. The program only
// ever listens; it never connects out.
//
// Results follow the rest of the driver: 0 for success, 1 for failure.
// Failures of the constructor and of Initialize print one message with the
// error number to the given output and leave the object without a socket,
// which IsValid shows.
//
// Sends never raise SIGPIPE (a vanished peer is a failed Send). Send can
// wait for a peer that stops reading in short slices and ask the caller,
// between slices, whether to give up, so that a key press or a termination
// request can end a transfer even then.
//
// Thread safety: one object per thread; all calls block the calling thread.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/Socket.h"
#include "platform/Status.h"

namespace platform {
class TextOut;
}

namespace net {

class utServerSocket {
 public:
  // Asked between waits of a blocked Send; true ends the Send with failure.
  using GiveUpCheck = platform::GiveUpCheck;

  // Listening constructor: creates, binds (to every interface, or to the
  // IPv4 address `ip` in host order) and listens; on failure the object has
  // no socket. Messages go to `out`. Port 0 lets the system pick one.
  utServerSocket(uint16_t port, int32_t backlog, platform::TextOut& out, uint32_t ip = 0);
  // Connection constructor: takes over the listener's last accepted socket.
  explicit utServerSocket(utServerSocket& listener);
  ~utServerSocket();
  utServerSocket(const utServerSocket&) = delete;
  utServerSocket& operator=(const utServerSocket&) = delete;

  int Initialize();
  bool IsValid() const { return socket_.IsOpen(); }
  // Waits for one connection. Interrupted calls and connections aborted
  // before they were accepted are retried. The wait looks for a termination
  // request between short slices (a signal that comes just before the wait
  // would otherwise be missed); after one, and on any other failure, the
  // result is empty. `giveUp`, when given, is asked between slices too: true
  // ends the wait with an empty result and no error.
  std::unique_ptr<utServerSocket> Accept(const GiveUpCheck& giveUp = {});
  // Takes a connection that is already waiting, without waiting for one;
  // empty when there is none (or the accept failed).
  std::unique_ptr<utServerSocket> TryAccept();
  // Sends all `length` bytes (one send call even for 0 bytes). Without a
  // give-up check a peer that stops reading blocks the call until it reads
  // or the connection fails.
  int Send(const void* bytes, int32_t length, const GiveUpCheck& giveUp = {});
  // Fills `buffer` whole; 1 on failure or when the peer closed first.
  int Receive(void* buffer, int32_t length);
  int Close();
  int openInterface();
  int closeInterface();

  uint16_t port() const { return port_; }
  // A connection's peer; a listener's own address.
  const platform::SocketAddress& address() const { return address_; }
  // The port the socket is really bound to (differs from port() only when
  // port() is 0); 0 without a socket.
  uint16_t BoundPort() const;
  // Why the last failed set-up or Accept failed, naming the port and the
  // system's words ("port 49000: Address already in use"); Ok otherwise.
  const platform::Status& LastError() const { return lastError_; }

 private:
  // Between these waits a blocked Send asks whether to give up.
  static constexpr int kSendSliceMs = 20;
  // Between these waits Accept looks for a termination request.
  static constexpr int kAcceptSliceMs = 100;

  platform::Status Failure(const platform::SocketStatus& status) const;

  platform::Socket socket_;
  platform::SocketAddress address_{};
  platform::Socket acceptedSocket_;
  platform::SocketAddress peerAddress_{};
  uint16_t port_ = 0;
  uint32_t ip_ = 0;
  int32_t backlog_ = 0;
  platform::TextOut* out_ = nullptr;
  platform::Status lastError_;
};

}  // namespace net
