// A connected TCP byte stream, and a loopback listener that yields them.
//
// TcpStream owns one connected socket (closed by the destructor; move-only).
// Receive waits at most a given time, so a reader can look at the clock, the
// keyboard and termination requests between slices instead of blocking for
// ever on a peer that stopped sending. SendAll loops over partial sends and
// never raises SIGPIPE: a vanished peer is a false result.
//
// ConnectTcp is the client side (a name or a numeric IPv4 address);
// TcpListener listens on 127.0.0.1 only and exists for test servers and
// tools that stand in for a server on one machine.
//
// Thread safety: one object per thread; distinct objects are independent.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

enum class ReceiveStatus {
  kData,     // `bytes` > 0 bytes were stored
  kTimeout,  // nothing arrived within the time given (or a signal came)
  kClosed,   // the peer closed its sending side; no more bytes will come
  kError,    // the connection failed (reset and the like); `error` says how
};

struct ReceiveResult {
  ReceiveStatus status;
  std::size_t bytes = 0;
  std::string error;
};

class TcpStream {
 public:
  TcpStream() = default;
  explicit TcpStream(int fd) : fd_(fd) {}
  ~TcpStream();
  TcpStream(TcpStream&& other) noexcept;
  TcpStream& operator=(TcpStream&& other) noexcept;
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  bool IsOpen() const { return fd_ >= 0; }

  // Waits up to `timeoutMs` for bytes and stores at most `capacity` of them.
  ReceiveResult Receive(void* buffer, std::size_t capacity, int timeoutMs);
  // Sends every byte, waiting as long as the peer needs; false when the
  // connection is gone.
  bool SendAll(const void* data, std::size_t size);
  // Asks the kernel for a receive buffer of about `bytes` (best effort).
  void SetReceiveBuffer(int bytes);
  void Close();

 private:
  int fd_ = -1;
};

// Connects to `host`:`port`, waiting at most `timeoutMs`. On failure the
// stream is closed and `reason` holds one line saying why.
TcpStream ConnectTcp(const std::string& host, int port, int timeoutMs, std::string& reason);

class TcpListener {
 public:
  TcpListener() = default;
  ~TcpListener();
  TcpListener(TcpListener&& other) noexcept;
  TcpListener& operator=(TcpListener&& other) noexcept;
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  // Listens on 127.0.0.1:`port`. `reason` says why when the result is closed.
  static TcpListener ListenLoopback(int port, std::string& reason);

  bool IsOpen() const { return fd_ >= 0; }
  // Waits up to `timeoutMs` for one connection; a closed stream on time-out.
  TcpStream Accept(int timeoutMs);

 private:
  explicit TcpListener(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace platform
