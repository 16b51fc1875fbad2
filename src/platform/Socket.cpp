// What sockets do the same way on every platform: ownership, the connect
// loop over a host's addresses, sending everything, accepting past clients
// that left, and the time-limited stream and loopback listener. The system
// calls under them are in posix/Socket.cpp and win32/Socket.cpp.
#include "platform/Socket.h"

namespace platform {

Socket::~Socket() { Close(); }

Socket::Socket(Socket&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)), blocking_(other.blocking_) {}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kNoHandle);
    blocking_ = other.blocking_;
  }
  return *this;
}

bool Socket::IsOpen() const { return handle_ != kNoHandle; }

bool Socket::Close() {
  if (handle_ == kNoHandle) return false;
  CloseNative(handle_);
  handle_ = kNoHandle;
  blocking_ = true;
  return true;
}

Socket Socket::Connect(const std::string& host, uint16_t port, int timeoutMs, std::string& reason) {
  std::vector<SocketAddress> addresses;
  if (!ResolveIpv4(host, port, addresses, reason)) return Socket();
  reason = "no address for " + host;
  for (const SocketAddress& address : addresses) {
    SocketStatus status;
    Socket socket = OpenTcp(status);
    // Non-blocking while connecting, so that the time limit holds; the
    // caller gets a blocking socket, or none.
    if (status.ok()) status = socket.SetBlocking(false);
    if (status.ok()) status = socket.ConnectOne(address, timeoutMs);
    if (status.ok()) status = socket.SetBlocking(true);
    if (status.ok()) {
      socket.SetNoDelay();
      reason.clear();
      return socket;
    }
    reason = status.ToString();
  }
  return Socket();
}

Socket Socket::AcceptWaiting(int timeoutMs, SocketAddress& peer, SocketStatus& status) {
  status = WaitReadable(timeoutMs);
  if (!status.ok()) return Socket();
  for (;;) {
    Socket accepted = Accept(peer, status);
    if (status.code != SocketCode::kRetry && status.code != SocketCode::kInterrupted)
      return accepted;
  }
}

SocketStatus Socket::SendAll(const void* bytes, size_t length, const GiveUpCheck& giveUp,
                             int sliceMs) {
  const char* at = static_cast<const char*>(bytes);
  bool calledOnce = false;
  while (!calledOnce || length > 0) {
    size_t sent = 0;
    SocketStatus status = Send(at, length, sent);
    switch (status.code) {
      case SocketCode::kOk:
        calledOnce = true;
        at += sent;
        length -= sent;
        break;
      case SocketCode::kInterrupted:
        if (giveUp && giveUp()) return status;
        break;
      case SocketCode::kTimeout:
        // No room: wait for it, in slices when someone may give up between
        // them. Sends never block in the system (a blocking send under wine
        // sleeps through a reset from the peer; the wait sees it).
        while (!(status = WaitWritable(giveUp ? sliceMs : -1)).ok()) {
          if (giveUp ? giveUp() : status.code == SocketCode::kFailed) return status;
        }
        break;
      default:
        return status;
    }
  }
  return {};
}

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
  return socket_.IsOpen() && (size == 0 || socket_.SendAll(data, size).ok());
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
  if (!socket_.IsOpen()) return TcpStream();
  SocketAddress peer;
  SocketStatus status;
  Socket accepted = socket_.AcceptWaiting(timeoutMs, peer, status);
  if (!status.ok()) return TcpStream();
  return TcpStream(std::move(accepted));
}

}  // namespace platform
