// The time-limited stream and the loopback listener, built only on Socket,
// so they are the same on every platform.
#include "platform/Socket.h"

namespace platform {

bool ParseIpv4(std::string_view text, uint32_t& ip) {
  uint32_t value = 0;
  int parts = 0;
  size_t at = 0;
  while (parts < 4) {
    size_t digits = 0;
    uint32_t part = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3) {
      part = part * 10 + static_cast<uint32_t>(text[at] - '0');
      ++at;
      ++digits;
    }
    if (digits == 0 || part > 255) return false;
    value = (value << 8) | part;
    if (++parts < 4) {
      if (at >= text.size() || text[at] != '.') return false;
      ++at;
    }
  }
  if (at != text.size()) return false;
  ip = value;
  return true;
}

std::string SocketStatus::ToString() const {
  std::string text = call;
  text += ": ";
  switch (code) {
    case SocketCode::kOk:
      return text + "done";
    case SocketCode::kTimeout:
      if (error == 0) return text + "timed out";
      break;
    case SocketCode::kClosed:
      if (error == 0) return text + "closed by the peer";
      break;
    default:
      break;
  }
  return text + SocketErrorText(error) + " (" + std::to_string(error) + ")";
}

ReceiveResult TcpStream::Receive(void* buffer, std::size_t capacity, int timeoutMs) {
  if (!socket_.IsOpen()) return {ReceiveStatus::kError, 0, "not connected"};
  SocketStatus ready = socket_.WaitReadable(timeoutMs);
  if (ready.code == SocketCode::kTimeout || ready.code == SocketCode::kInterrupted)
    return {ReceiveStatus::kTimeout, 0, {}};
  if (!ready.ok()) return {ReceiveStatus::kError, 0, ready.ToString()};
  size_t received = 0;
  SocketStatus status = socket_.Receive(buffer, capacity, true, received);
  switch (status.code) {
    case SocketCode::kOk:
      return {ReceiveStatus::kData, received, {}};
    case SocketCode::kClosed:
      return {ReceiveStatus::kClosed, 0, {}};
    case SocketCode::kTimeout:
    case SocketCode::kInterrupted:
      return {ReceiveStatus::kTimeout, 0, {}};
    default:
      return {ReceiveStatus::kError, 0, status.ToString()};
  }
}

bool TcpStream::SendAll(const void* data, std::size_t size) {
  const char* at = static_cast<const char*>(data);
  while (socket_.IsOpen() && size > 0) {
    size_t sent = 0;
    SocketStatus status = socket_.Send(at, size, false, sent);
    if (status.code == SocketCode::kInterrupted) continue;
    if (!status.ok()) return false;
    at += sent;
    size -= sent;
  }
  return socket_.IsOpen();
}

TcpStream ConnectTcp(const std::string& host, int port, int timeoutMs, std::string& reason) {
  return TcpStream(Socket::Connect(host, static_cast<uint16_t>(port), timeoutMs, reason));
}

TcpListener TcpListener::ListenLoopback(int port, std::string& reason) {
  TcpListener listener;
  SocketStatus status;
  Socket socket = Socket::OpenTcp(status);
  if (socket.IsOpen()) {
    socket.AllowAddressReuse();
    status = socket.Bind(SocketAddress{kLoopbackIp, static_cast<uint16_t>(port)});
  }
  if (status.ok()) status = socket.Listen(4);
  if (!status.ok()) {
    reason = status.ToString();
    return listener;
  }
  reason.clear();
  listener.socket_ = std::move(socket);
  return listener;
}

TcpStream TcpListener::Accept(int timeoutMs) {
  if (!socket_.IsOpen() || !socket_.WaitReadable(timeoutMs).ok()) return TcpStream();
  for (;;) {
    SocketAddress peer;
    SocketStatus status;
    Socket accepted = socket_.Accept(peer, status);
    if (status.ok()) return TcpStream(std::move(accepted));
    if (status.code != SocketCode::kRetry && status.code != SocketCode::kInterrupted)
      return TcpStream();
  }
}

}  // namespace platform
