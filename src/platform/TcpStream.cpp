#include "platform/TcpStream.h"

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
#include <utility>

namespace platform {
namespace {

std::string ErrorText(int error) { return std::strerror(error); }

// Polls one descriptor; returns >0 ready, 0 time-out, <0 error. A signal
// counts as a time-out so that the caller can look at termination requests.
int WaitFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  int r = poll(&p, 1, timeoutMs);
  if (r < 0 && errno == EINTR) return 0;
  return r;
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

TcpStream::~TcpStream() { Close(); }

TcpStream::TcpStream(TcpStream&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TcpStream& TcpStream::operator=(TcpStream&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void TcpStream::Close() { CloseFd(fd_); }

ReceiveResult TcpStream::Receive(void* buffer, std::size_t capacity, int timeoutMs) {
  if (fd_ < 0) return {ReceiveStatus::kError, 0, "not connected"};
  int ready = WaitFor(fd_, POLLIN, timeoutMs);
  if (ready == 0) return {ReceiveStatus::kTimeout, 0, {}};
  if (ready < 0) return {ReceiveStatus::kError, 0, ErrorText(errno)};
  ssize_t n = recv(fd_, buffer, capacity, MSG_DONTWAIT);
  if (n > 0) return {ReceiveStatus::kData, static_cast<std::size_t>(n), {}};
  if (n == 0) return {ReceiveStatus::kClosed, 0, {}};
  if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
    return {ReceiveStatus::kTimeout, 0, {}};
  return {ReceiveStatus::kError, 0, ErrorText(errno)};
}

bool TcpStream::SendAll(const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (fd_ >= 0 && size > 0) {
    ssize_t n = send(fd_, p, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return fd_ >= 0;
}

void TcpStream::SetReceiveBuffer(int bytes) {
  if (fd_ >= 0) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

TcpStream ConnectTcp(const std::string& host, int port, int timeoutMs, std::string& reason) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::string service = std::to_string(port);
  int gai = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (gai != 0) {
    reason = "cannot resolve " + host + ": " + gai_strerror(gai);
    return TcpStream();
  }
  reason = "no address for " + host;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      reason = ErrorText(errno);
      continue;
    }
    // Non-blocking connect so that the time limit holds.
    int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int r = connect(fd, a->ai_addr, a->ai_addrlen);
    int error = r == 0 ? 0 : errno;
    if (error == EINPROGRESS) {
      if (WaitFor(fd, POLLOUT, timeoutMs) > 0) {
        socklen_t len = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
      } else {
        error = ETIMEDOUT;
      }
    }
    if (error == 0) {
      fcntl(fd, F_SETFL, flags);
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      freeaddrinfo(found);
      reason.clear();
      return TcpStream(fd);
    }
    reason = ErrorText(error);
    close(fd);
  }
  freeaddrinfo(found);
  return TcpStream();
}

TcpListener::~TcpListener() { CloseFd(fd_); }

TcpListener::TcpListener(TcpListener&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TcpListener& TcpListener::operator=(TcpListener&& other) noexcept {
  if (this != &other) {
    CloseFd(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

TcpListener TcpListener::ListenLoopback(int port, std::string& reason) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    reason = ErrorText(errno);
    return TcpListener();
  }
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 4) != 0) {
    reason = ErrorText(errno);
    close(fd);
    return TcpListener();
  }
  reason.clear();
  return TcpListener(fd);
}

TcpStream TcpListener::Accept(int timeoutMs) {
  if (fd_ < 0 || WaitFor(fd_, POLLIN, timeoutMs) <= 0) return TcpStream();
  for (;;) {
    int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) return TcpStream(fd);
    if (errno != EINTR && errno != ECONNABORTED) return TcpStream();
  }
}

}  // namespace platform
