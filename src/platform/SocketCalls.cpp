#include "platform/SocketCalls.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

int SocketCreateTcp(int* error) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = errno;
    return kNoSocket;
  }
  return fd;
}

void SocketAllowAddressReuse(int fd) {
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

int SocketBind(int fd, const sockaddr_in& address) {
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return 0;
  return errno;
}

int SocketListen(int fd, int backlog) {
  if (::listen(fd, backlog) == 0) return 0;
  return errno;
}

void SocketMakeAcceptNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

bool SocketWaitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

AcceptOutcome SocketAccept(int listenFd, int* acceptedFd, sockaddr_in* peer) {
  socklen_t length = sizeof *peer;
  int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(peer), &length, SOCK_CLOEXEC);
  if (fd >= 0) {
    *acceptedFd = fd;
    return AcceptOutcome::kAccepted;
  }
  // Linux reports errors already pending on the new connection through
  // accept; those are the client's failure, not the listener's.
  switch (errno) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
      return AcceptOutcome::kRetry;
    default:
      return AcceptOutcome::kFailed;
  }
}

SendOutcome SocketSend(int fd, const void* bytes, size_t length, bool noWait, size_t* sent) {
  const int flags = MSG_NOSIGNAL | (noWait ? MSG_DONTWAIT : 0);
  ssize_t n = ::send(fd, bytes, length, flags);
  if (n >= 0) {
    *sent = static_cast<size_t>(n);
    return SendOutcome::kSent;
  }
  *sent = 0;
  if (errno == EINTR) return SendOutcome::kInterrupted;
  if (errno == EAGAIN || errno == EWOULDBLOCK) return SendOutcome::kWouldBlock;
  return SendOutcome::kFailed;
}

bool SocketWaitWritable(int fd, int timeoutMs) {
  pollfd p{fd, POLLOUT, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

ReceiveOutcome SocketReceive(int fd, void* buffer, size_t length, size_t* received) {
  ssize_t n = ::recv(fd, buffer, length, 0);
  *received = n > 0 ? static_cast<size_t>(n) : 0;
  if (n > 0) return ReceiveOutcome::kReceived;
  if (n == 0) return ReceiveOutcome::kClosed;
  if (errno == EINTR) return ReceiveOutcome::kInterrupted;
  return ReceiveOutcome::kFailed;
}

void SocketClose(int fd) { ::close(fd); }

uint16_t SocketLocalPort(int fd) {
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
  return ntohs(bound.sin_port);
}

}  // namespace platform
