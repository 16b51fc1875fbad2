#include "net/utServerSocket.h"

#include <string>
#include <utility>

#include "platform/Termination.h"
#include "platform/TextOut.h"

namespace net {

using platform::SocketCode;
using platform::SocketStatus;

platform::Status utServerSocket::Failure(const platform::SocketStatus& status) const {
  return platform::SystemError("port " + std::to_string(port_), status.error);
}

utServerSocket::utServerSocket(uint16_t port, int32_t backlog, platform::TextOut& out, uint32_t ip)
    : port_(port), ip_(ip), backlog_(backlog), out_(&out) {
  if (openInterface() != 0) return;
  SocketStatus status;
  socket_ = platform::Socket::OpenTcp(status);
  if (!socket_.IsOpen()) {
    platform::Printf(*out_, "utServerSocket::utServerSocket - socket called failed (%d)...\n",
                     status.error);
    lastError_ = Failure(status);
    if (closeInterface() != 0) {
      platform::Printf(*out_, "utServerSocket::utServerSocket - closeInterface call failed...\n");
    }
    return;
  }
  socket_.AllowAddressReuse();
  Initialize();  // a failure leaves no socket, which IsValid shows
}

utServerSocket::utServerSocket(utServerSocket& listener)
    : socket_(std::move(listener.acceptedSocket_)),
      address_(listener.peerAddress_),
      port_(listener.port_),
      backlog_(listener.backlog_),
      out_(listener.out_) {
  openInterface();
}

utServerSocket::~utServerSocket() {
  Close();
  acceptedSocket_.Close();
  closeInterface();
}

int utServerSocket::Initialize() {
  address_ = platform::SocketAddress{ip_, port_};
  if (!socket_.IsOpen()) return 1;
  if (SocketStatus s = socket_.Bind(address_); !s.ok()) {
    platform::Printf(*out_, "utServerSocket::Initialize - socket Bind failed (%d)...\n", s.error);
    lastError_ = Failure(s);
    Close();
    return 1;
  }
  // Listening also makes accept return at once when nobody waits, so that
  // Accept can wait in slices.
  if (SocketStatus s = socket_.Listen(backlog_); !s.ok()) {
    platform::Printf(*out_, "utServerSocket::Initialize - socket Listen failed (%d)...\n", s.error);
    lastError_ = Failure(s);
    Close();
    return 1;
  }
  return 0;
}

std::unique_ptr<utServerSocket> utServerSocket::Accept(const GiveUpCheck& giveUp) {
  if (!socket_.IsOpen()) return nullptr;
  lastError_ = platform::Status::Ok();
  for (;;) {
    // A signal or a client that gave up while queued is no reason to stop
    // serving; a termination request is.
    if (platform::TerminationRequested()) return nullptr;
    if (giveUp && giveUp()) return nullptr;
    SocketStatus status;
    acceptedSocket_ = socket_.AcceptWaiting(kAcceptSliceMs, peerAddress_, status);
    if (status.ok()) break;
    if (status.code == SocketCode::kFailed) {
      lastError_ = Failure(status);
      return nullptr;
    }
  }
  return std::make_unique<utServerSocket>(*this);
}

std::unique_ptr<utServerSocket> utServerSocket::TryAccept() {
  if (!socket_.IsOpen()) return nullptr;
  // Listening made accept return at once when nobody waits.
  SocketStatus status;
  acceptedSocket_ = socket_.Accept(peerAddress_, status);
  if (!status.ok()) return nullptr;
  return std::make_unique<utServerSocket>(*this);
}

int utServerSocket::Send(const void* bytes, int32_t length, const GiveUpCheck& giveUp) {
  if (!socket_.IsOpen()) return 1;
  const size_t size = length > 0 ? static_cast<size_t>(length) : 0;
  return socket_.SendAll(bytes, size, giveUp, kSendSliceMs).ok() ? 0 : 1;
}

int utServerSocket::Receive(void* buffer, int32_t length) {
  if (!socket_.IsOpen()) return 1;
  if (length <= 0) return 0;
  char* at = static_cast<char*>(buffer);
  size_t remaining = static_cast<size_t>(length);
  while (remaining > 0) {
    size_t received = 0;
    SocketStatus status = socket_.Receive(at, remaining, false, received);
    if (status.code == SocketCode::kInterrupted) continue;
    if (!status.ok()) return 1;  // closed by the peer, or failed
    at += received;
    remaining -= received;
  }
  return 0;
}

int utServerSocket::Close() { return socket_.Close() ? 0 : 1; }

int utServerSocket::openInterface() { return platform::StartSocketInterface() ? 0 : 1; }
int utServerSocket::closeInterface() { return platform::StopSocketInterface() ? 0 : 1; }

uint16_t utServerSocket::BoundPort() const { return socket_.LocalPort(); }

}  // namespace net
