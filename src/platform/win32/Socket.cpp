// Socket over Winsock 2.
#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h must come before windows.h.
#include <windows.h>

#include <climits>
#include <string_view>

#include "platform/Socket.h"
#include "platform/Status.h"

namespace platform {
namespace {

SOCKET S(intptr_t handle) { return static_cast<SOCKET>(handle); }

sockaddr_in ToSockaddr(const SocketAddress& address) {
  sockaddr_in out{};
  out.sin_family = AF_INET;
  out.sin_port = htons(address.port);
  out.sin_addr.s_addr = htonl(address.ip);
  return out;
}

SocketStatus LastError(const char* call) { return SocketStatusFromError(call, WSAGetLastError()); }

// Sockets opened here start Winsock for the process once, for code (the
// client side, the tests) that has no interface object of its own.
bool EnsureStarted() {
  static const bool started = StartSocketInterface();
  return started;
}

// A socket handle must not leak into programs we start.
intptr_t NotInherited(SOCKET s) {
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return static_cast<intptr_t>(s);
}

// select on one socket: readable, writable, or (for a connect) either
// writable or failed.
enum class Wanted { kRead, kWrite, kConnect };
SocketStatus Wait(intptr_t handle, Wanted wanted, int timeoutMs) {
  if (handle == -1) return SocketStatusFromError("select", WSAENOTSOCK);
  fd_set set;
  fd_set failed;
  FD_ZERO(&set);
  FD_ZERO(&failed);
  FD_SET(S(handle), &set);
  FD_SET(S(handle), &failed);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int r =
      select(0, wanted == Wanted::kRead ? &set : nullptr, wanted == Wanted::kRead ? nullptr : &set,
             wanted == Wanted::kConnect ? &failed : nullptr, timeoutMs < 0 ? nullptr : &limit);
  if (r > 0) return {};
  if (r == 0) return {SocketCode::kTimeout, "select", 0};
  return LastError("select");
}

int ClampLength(size_t length) { return length > INT_MAX ? INT_MAX : static_cast<int>(length); }

}  // namespace

SocketStatus SocketStatusFromError(const char* call, int error) {
  SocketStatus status{SocketCode::kFailed, call, error};
  switch (error) {
    case 0:
      status.code = SocketCode::kOk;
      break;
    case WSAEINTR:
      status.code = SocketCode::kInterrupted;
      break;
    case WSAEWOULDBLOCK:
      status.code = SocketCode::kTimeout;
      break;
    // A client that reset or left before its connection was taken (wine
    // reports that as not connected: its accept asks for the peer's name).
    case WSAENOTCONN:
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENETDOWN:
    case WSAENOPROTOOPT:
    case WSAEHOSTDOWN:
    case WSAEHOSTUNREACH:
    case WSAEOPNOTSUPP:
    case WSAENETUNREACH:
      if (std::string_view(call) == "accept") status.code = SocketCode::kRetry;
      break;
    default:
      break;
  }
  return status;
}

std::string SocketErrorText(int error) { return SystemErrorText(error); }

int AddressInUseError() { return WSAEADDRINUSE; }

bool StartSocketInterface() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

bool StopSocketInterface() { return WSACleanup() == 0; }

void Socket::CloseNative(Handle handle) { closesocket(S(handle)); }

Socket Socket::OpenTcp(SocketStatus& status) {
  EnsureStarted();
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    status = LastError("socket");
    return Socket();
  }
  status = {};
  return Socket(NotInherited(s));
}

// Windows binds a port whose last connection is still closing without any
// option; its SO_REUSEADDR would instead let two servers share a port that
// is in use. Exclusive use keeps a taken port refused, as on POSIX.
void Socket::AllowAddressReuse() {
  BOOL on = TRUE;
  if (IsOpen())
    setsockopt(S(handle_), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
               sizeof on);
}

SocketStatus Socket::Bind(const SocketAddress& address) {
  sockaddr_in in = ToSockaddr(address);
  if (::bind(S(handle_), reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0) return {};
  return LastError("bind");
}

SocketStatus Socket::Listen(int backlog) {
  if (::listen(S(handle_), backlog) != 0) return LastError("listen");
  return SetBlocking(false);
}

Socket Socket::Accept(SocketAddress& peer, SocketStatus& status) {
  sockaddr_in from{};
  int length = sizeof from;
  SOCKET s = ::accept(S(handle_), reinterpret_cast<sockaddr*>(&from), &length);
  if (s == INVALID_SOCKET) {
    status = LastError("accept");
    return Socket();
  }
  peer.ip = ntohl(from.sin_addr.s_addr);
  peer.port = ntohs(from.sin_port);
  // An accepted socket inherits the listener's non-blocking mode here.
  Socket accepted(NotInherited(s));
  accepted.blocking_ = false;
  status = accepted.SetBlocking(true);
  if (!status.ok()) return Socket();
  return accepted;
}

uint16_t Socket::LocalPort() const {
  sockaddr_in bound{};
  int length = sizeof bound;
  if (!IsOpen() || ::getsockname(S(handle_), reinterpret_cast<sockaddr*>(&bound), &length) != 0)
    return 0;
  return ntohs(bound.sin_port);
}

SocketStatus Socket::WaitReadable(int timeoutMs) { return Wait(handle_, Wanted::kRead, timeoutMs); }

SocketStatus Socket::WaitWritable(int timeoutMs) {
  return Wait(handle_, Wanted::kWrite, timeoutMs);
}

SocketStatus Socket::Send(const void* bytes, size_t length, size_t& sent) {
  sent = 0;
  // Sends never use the socket's blocking mode: a blocking send under wine
  // sleeps through a reset from the peer and never returns. SendAll waits
  // for room in select instead, which sees the reset.
  if (SocketStatus mode = SetBlocking(false); !mode.ok()) return mode;
  const int n = ::send(S(handle_), static_cast<const char*>(bytes), ClampLength(length), 0);
  if (n == SOCKET_ERROR) return LastError("send");
  sent = static_cast<size_t>(n);
  return {};
}

SocketStatus Socket::Receive(void* buffer, size_t length, bool noWait, size_t& received) {
  received = 0;
  if (SocketStatus mode = SetBlocking(!noWait); !mode.ok()) return mode;
  int n = ::recv(S(handle_), static_cast<char*>(buffer), ClampLength(length), 0);
  if (n == SOCKET_ERROR) return LastError("recv");
  if (n == 0 && length > 0) return {SocketCode::kClosed, "recv", 0};
  received = static_cast<size_t>(n);
  return {};
}

void Socket::SetReceiveBuffer(int bytes) {
  if (IsOpen())
    setsockopt(S(handle_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
               sizeof bytes);
}

// Winsock has no receive low-water mark for TCP: a reader is woken for
// every arrival.
void Socket::SetReceiveLowWater(int) {}

void Socket::ResetOnClose() {
  linger hard{1, 0};
  if (IsOpen())
    setsockopt(S(handle_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard),
               sizeof hard);
}

void Socket::ShutDownReceiving() {
  if (IsOpen()) ::shutdown(S(handle_), SD_RECEIVE);
}

void Socket::ShutDownSending() {
  if (IsOpen()) ::shutdown(S(handle_), SD_SEND);
}

SocketStatus Socket::SetBlocking(bool blocking) {
  if (!IsOpen()) return SocketStatusFromError("ioctlsocket", WSAENOTSOCK);
  if (blocking == blocking_) return {};
  u_long nonBlocking = blocking ? 0 : 1;
  if (ioctlsocket(S(handle_), FIONBIO, &nonBlocking) != 0) return LastError("ioctlsocket");
  blocking_ = blocking;
  return {};
}

bool Socket::ResolveIpv4(const std::string& host, uint16_t port,
                         std::vector<SocketAddress>& addresses, std::string& reason) {
  if (!EnsureStarted()) {
    reason = "the socket library did not start";
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (int gai = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
      gai != 0) {
    reason = "cannot resolve " + host + ": " + SocketErrorText(gai);
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
  if (::connect(S(handle_), reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0) return {};
  if (WSAGetLastError() != WSAEWOULDBLOCK) return LastError("connect");
  const SocketStatus waited = Wait(handle_, Wanted::kConnect, timeoutMs);
  if (!waited.ok())
    return waited.code == SocketCode::kFailed ? waited
                                              : SocketStatus{SocketCode::kTimeout, "connect", 0};
  int error = 0;
  int length = sizeof error;
  getsockopt(S(handle_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
  return SocketStatusFromError("connect", error);
}

void Socket::SetNoDelay() {
  BOOL one = TRUE;
  setsockopt(S(handle_), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

}  // namespace platform
