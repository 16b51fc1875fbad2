#include "net/utServerSocket.h"

#include <arpa/inet.h>

#include <cstring>

#include "platform/SocketCalls.h"
#include "platform/Termination.h"
#include "platform/TextOut.h"

namespace net {

utServerSocket::utServerSocket(uint16_t port, int32_t backlog, platform::TextOut& out)
    : port_(port), backlog_(backlog), out_(&out) {
  if (openInterface() != 0) return;
  int error = 0;
  socket_ = platform::SocketCreateTcp(&error);
  if (socket_ < 0) {
    socket_ = kInvalid;
    platform::Printf(*out_, "utServerSocket::utServerSocket - socket called failed (%d)...\n",
                     error);
    if (closeInterface() != 0) {
      platform::Printf(*out_, "utServerSocket::utServerSocket - closeInterface call failed...\n");
    }
    return;
  }
  platform::SocketAllowAddressReuse(socket_);
  platform::SocketMakeAcceptNonBlocking(socket_);
  Initialize();  // a failure leaves no socket, which IsValid shows
}

utServerSocket::utServerSocket(utServerSocket& listener)
    : socket_(listener.acceptedSocket_),
      address_(listener.peerAddress_),
      port_(listener.port_),
      backlog_(listener.backlog_),
      out_(listener.out_) {
  openInterface();
  // The connection object owns the socket from now on.
  listener.acceptedSocket_ = kInvalid;
}

utServerSocket::~utServerSocket() {
  Close();
  if (acceptedSocket_ >= 0) platform::SocketClose(acceptedSocket_);
  closeInterface();
}

int utServerSocket::Initialize() {
  std::memset(&address_, 0, sizeof address_);
  address_.sin_family = AF_INET;
  address_.sin_port = htons(port_);
  address_.sin_addr.s_addr = htonl(INADDR_ANY);
  if (socket_ < 0) return 1;
  if (int error = platform::SocketBind(socket_, address_); error != 0) {
    platform::Printf(*out_, "utServerSocket::Initialize - socket Bind failed (%d)...\n", error);
    Close();
    return 1;
  }
  if (int error = platform::SocketListen(socket_, backlog_); error != 0) {
    platform::Printf(*out_, "utServerSocket::Initialize - socket Listen failed (%d)...\n", error);
    Close();
    return 1;
  }
  return 0;
}

std::unique_ptr<utServerSocket> utServerSocket::Accept() {
  if (socket_ < 0) return nullptr;
  for (;;) {
    // A signal or a client that gave up while queued is no reason to stop
    // serving; a termination request is.
    if (platform::TerminationRequested()) return nullptr;
    if (!platform::SocketWaitReadable(socket_, kAcceptSliceMs)) continue;
    int fd = kInvalid;
    platform::AcceptOutcome outcome = platform::SocketAccept(socket_, &fd, &peerAddress_);
    if (outcome == platform::AcceptOutcome::kAccepted) {
      acceptedSocket_ = fd;
      break;
    }
    if (outcome == platform::AcceptOutcome::kFailed) return nullptr;
  }
  return std::make_unique<utServerSocket>(*this);
}

int utServerSocket::Send(const void* bytes, int32_t length, const GiveUpCheck& giveUp) {
  if (socket_ < 0) return 1;
  const char* at = static_cast<const char*>(bytes);
  size_t remaining = length > 0 ? static_cast<size_t>(length) : 0;
  // Without a give-up check the send blocks as long as the peer needs; with
  // one it never blocks, and waits for room in slices instead.
  const bool noWait = static_cast<bool>(giveUp);
  bool calledOnce = false;
  while (!calledOnce || remaining > 0) {
    size_t sent = 0;
    switch (platform::SocketSend(socket_, at, remaining, noWait, &sent)) {
      case platform::SendOutcome::kSent:
        calledOnce = true;
        at += sent;
        remaining -= sent;
        break;
      case platform::SendOutcome::kInterrupted:
        if (giveUp && giveUp()) return 1;
        break;
      case platform::SendOutcome::kWouldBlock:
        while (!platform::SocketWaitWritable(socket_, kSendSliceMs)) {
          if (giveUp()) return 1;
        }
        break;
      case platform::SendOutcome::kFailed:
        return 1;
    }
  }
  return 0;
}

int utServerSocket::Receive(void* buffer, int32_t length) {
  if (socket_ < 0) return 1;
  if (length <= 0) return 0;
  char* at = static_cast<char*>(buffer);
  size_t remaining = static_cast<size_t>(length);
  while (remaining > 0) {
    size_t received = 0;
    switch (platform::SocketReceive(socket_, at, remaining, &received)) {
      case platform::ReceiveOutcome::kReceived:
        at += received;
        remaining -= received;
        break;
      case platform::ReceiveOutcome::kInterrupted:
        break;
      case platform::ReceiveOutcome::kClosed:
      case platform::ReceiveOutcome::kFailed:
        return 1;
    }
  }
  return 0;
}

int utServerSocket::Close() {
  if (socket_ < 0) return 1;
  platform::SocketClose(socket_);
  socket_ = kInvalid;
  return 0;
}

// POSIX sockets need no per-process start or stop.
int utServerSocket::openInterface() { return 0; }
int utServerSocket::closeInterface() { return 0; }

uint16_t utServerSocket::BoundPort() const {
  return socket_ < 0 ? 0 : platform::SocketLocalPort(socket_);
}

}  // namespace net
