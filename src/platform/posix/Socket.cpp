// Socket over the POSIX socket calls.
#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/Status.h"

namespace platform {
namespace {

int Fd(intptr_t handle) { return static_cast<int>(handle); }

sockaddr_in ToSockaddr(const SocketAddress& address) {
  sockaddr_in out{};
  out.sin_family = AF_INET;
  out.sin_port = htons(address.port);
  out.sin_addr.s_addr = htonl(address.ip);
  return out;
}

SocketStatus LastError(const char* call) { return SocketStatusFromError(call, errno); }

SocketStatus Wait(int fd, short events, int timeoutMs, const char* call) {
  if (fd < 0) return SocketStatusFromError(call, EBADF);
  pollfd p{fd, events, 0};
  int r = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
  if (r > 0) return {};
  if (r == 0) return {SocketCode::kTimeout, call, 0};
  return LastError(call);
}

}  // namespace

SocketStatus SocketStatusFromError(const char* call, int error) {
  SocketStatus status{SocketCode::kFailed, call, error};
  switch (error) {
    case 0:
      status.code = SocketCode::kOk;
      break;
    case EINTR:
      status.code = SocketCode::kInterrupted;
      break;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
      status.code = SocketCode::kTimeout;
      break;
    // Linux reports errors already pending on a new connection through
    // accept; those are the client's failure, not the listener's.
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
      if (std::string_view(call) == "accept") status.code = SocketCode::kRetry;
      break;
    default:
      break;
  }
  return status;
}

std::string SocketErrorText(int error) { return SystemErrorText(error); }

int AddressInUseError() { return EADDRINUSE; }

// POSIX sockets need no per-process start or stop.
bool StartSocketInterface() { return true; }
bool StopSocketInterface() { return true; }

void Socket::CloseNative(Handle handle) { ::close(Fd(handle)); }

Socket Socket::OpenTcp(SocketStatus& status) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    status = LastError("socket");
    return Socket();
  }
  status = {};
  return Socket(fd);
}

void Socket::AllowAddressReuse() {
  int on = 1;
  if (IsOpen()) ::setsockopt(Fd(handle_), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

SocketStatus Socket::Bind(const SocketAddress& address) {
  sockaddr_in in = ToSockaddr(address);
  if (::bind(Fd(handle_), reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0) return {};
  return LastError("bind");
}

SocketStatus Socket::Listen(int backlog) {
  if (::listen(Fd(handle_), backlog) != 0) return LastError("listen");
  return SetBlocking(false);
}

Socket Socket::Accept(SocketAddress& peer, SocketStatus& status) {
  sockaddr_in from{};
  socklen_t length = sizeof from;
  // accept4 does not pass the listener's O_NONBLOCK on: the new socket blocks.
  int fd = ::accept4(Fd(handle_), reinterpret_cast<sockaddr*>(&from), &length, SOCK_CLOEXEC);
  if (fd < 0) {
    status = LastError("accept");
    return Socket();
  }
  peer.ip = ntohl(from.sin_addr.s_addr);
  peer.port = ntohs(from.sin_port);
  status = {};
  return Socket(fd);
}

uint16_t Socket::LocalPort() const {
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (!IsOpen() || ::getsockname(Fd(handle_), reinterpret_cast<sockaddr*>(&bound), &length) != 0)
    return 0;
  return ntohs(bound.sin_port);
}

SocketStatus Socket::WaitReadable(int timeoutMs) {
  return Wait(Fd(handle_), POLLIN, timeoutMs, "poll");
}

SocketStatus Socket::WaitWritable(int timeoutMs) {
  return Wait(Fd(handle_), POLLOUT, timeoutMs, "poll");
}

SocketStatus Socket::Send(const void* bytes, size_t length, size_t& sent) {
  sent = 0;
  ssize_t n = ::send(Fd(handle_), bytes, length, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n < 0) return LastError("send");
  sent = static_cast<size_t>(n);
  return {};
}

SocketStatus Socket::Receive(void* buffer, size_t length, bool noWait, size_t& received) {
  received = 0;
  ssize_t n = ::recv(Fd(handle_), buffer, length, noWait ? MSG_DONTWAIT : 0);
  if (n < 0) return LastError("recv");
  if (n == 0 && length > 0) return {SocketCode::kClosed, "recv", 0};
  received = static_cast<size_t>(n);
  return {};
}

void Socket::SetReceiveBuffer(int bytes) {
  if (IsOpen()) ::setsockopt(Fd(handle_), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void Socket::SetReceiveLowWater(int bytes) {
  if (IsOpen()) ::setsockopt(Fd(handle_), SOL_SOCKET, SO_RCVLOWAT, &bytes, sizeof bytes);
}

void Socket::ResetOnClose() {
  linger hard{1, 0};
  if (IsOpen()) ::setsockopt(Fd(handle_), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

void Socket::ShutDownReceiving() {
  if (IsOpen()) ::shutdown(Fd(handle_), SHUT_RD);
}

void Socket::ShutDownSending() {
  if (IsOpen()) ::shutdown(Fd(handle_), SHUT_WR);
}

SocketStatus Socket::SetBlocking(bool blocking) {
  const int flags = ::fcntl(Fd(handle_), F_GETFL, 0);
  if (flags < 0) return LastError("fcntl");
  const int wanted = blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK;
  if (::fcntl(Fd(handle_), F_SETFL, wanted) != 0) return LastError("fcntl");
  blocking_ = blocking;
  return {};
}

bool Socket::ResolveIpv4(const std::string& host, uint16_t port,
                         std::vector<SocketAddress>& addresses, std::string& reason) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (int gai = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
      gai != 0) {
    reason = "cannot resolve " + host + ": " + ::gai_strerror(gai);
    return false;
  }
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    addresses.push_back({ntohl(in->sin_addr.s_addr), ntohs(in->sin_port)});
  }
  ::freeaddrinfo(found);
  return true;
}

SocketStatus Socket::ConnectOne(const SocketAddress& address, int timeoutMs) {
  const sockaddr_in in = ToSockaddr(address);
  if (::connect(Fd(handle_), reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0) return {};
  if (errno != EINPROGRESS) return LastError("connect");
  const SocketStatus waited = WaitWritable(timeoutMs);
  if (!waited.ok())
    return waited.code == SocketCode::kFailed ? waited
                                              : SocketStatus{SocketCode::kTimeout, "connect", 0};
  int error = 0;
  socklen_t length = sizeof error;
  ::getsockopt(Fd(handle_), SOL_SOCKET, SO_ERROR, &error, &length);
  return SocketStatusFromError("connect", error);
}

void Socket::SetNoDelay() {
  int one = 1;
  ::setsockopt(Fd(handle_), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace platform
