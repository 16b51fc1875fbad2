// TCP over IPv4: the one place the program touches the platform's sockets.
//
// Socket owns one socket handle (closed by the destructor; move-only) and
// offers the calls both sides need: the stress tool's listening server and
// yebverify's client. Every failing call comes back as a SocketStatus made
// by one mapping, SocketStatusFromError, which turns the platform's error
// number into what the caller must do next (wait, retry, give up) and keeps
// the call's name and the number for the message. Sends never raise SIGPIPE:
// a vanished peer is a failed send.
//
// TcpStream and TcpListener sit on top for code that wants time limits
// instead of single calls: a receive that waits at most a given time, a send
// that takes every byte, a loopback listener for test servers.
//
// Addresses and ports are in host byte order here; only the platform side
// converts them. Thread safety: one object per thread; distinct objects are
// independent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

enum class SocketCode {
  kOk,
  kTimeout,      // nothing happened within the time given, or no room/data now
  kInterrupted,  // a signal came first; the caller may look at its flags and call again
  kRetry,        // accept only: the client gave up before it was taken; accept again
  kClosed,       // receive only: the peer closed its sending side
  kFailed,       // the socket or the connection is unusable
};

// The outcome of one socket call. `error` is the platform's own number
// (errno, or the Winsock error code), 0 when the call did not fail in the
// platform.
struct SocketStatus {
  SocketCode code = SocketCode::kOk;
  const char* call = "";
  int error = 0;

  bool ok() const { return code == SocketCode::kOk; }
  // One line for people, e.g. "bind: Address already in use (98)".
  std::string ToString() const;
};

// The one mapping of an error number that `call` reported to a status.
SocketStatus SocketStatusFromError(const char* call, int error);
// The platform's text for a socket error number.
std::string SocketErrorText(int error);

// "127.0.0.1": four decimal parts of 0 to 255 and nothing else, in host
// byte order; false for anything else (names are not looked up).
bool ParseIpv4(std::string_view text, uint32_t& ip);

// The platform's error number for "address already in use", for tests and
// messages that must name it.
int AddressInUseError();

// Starts and stops the platform's socket library for the caller; the
// library stays started while any start is not matched by a stop. Nothing
// to do on POSIX. Sockets opened here start it for the process on their own;
// these are for code that must see the result (the server socket reports
// it).
bool StartSocketInterface();
bool StopSocketInterface();

struct SocketAddress {
  uint32_t ip = 0;  // 0 is any interface
  uint16_t port = 0;
};
inline constexpr uint32_t kLoopbackIp = 0x7f000001;

// Asked between the waits of a blocked send or accept; true ends it.
using GiveUpCheck = std::function<bool()>;

class Socket {
 public:
  Socket() = default;
  ~Socket();
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // A new TCP/IPv4 stream socket; closed with `status` set on failure.
  static Socket OpenTcp(SocketStatus& status);
  // Connects to `host` (a name or a dotted address) within `timeoutMs`. On
  // failure the socket is closed and `reason` holds one line saying why.
  static Socket Connect(const std::string& host, uint16_t port, int timeoutMs, std::string& reason);

  bool IsOpen() const;
  // Closes the handle; true when there was one.
  bool Close();

  // Lets a port whose earlier connections are still closing be bound again.
  // Best effort.
  void AllowAddressReuse();
  SocketStatus Bind(const SocketAddress& address);
  // Listens, and makes Accept return at once when nobody waits.
  SocketStatus Listen(int backlog);
  // Takes one waiting connection. kTimeout when nobody waits, kRetry when a
  // client left before it was taken. The new socket blocks.
  Socket Accept(SocketAddress& peer, SocketStatus& status);
  // Waits up to `timeoutMs` for a connection and takes it; a client that
  // left before it was taken, or a signal during the accept, means taking
  // the next one. kTimeout or kInterrupted when the wait ended first.
  Socket AcceptWaiting(int timeoutMs, SocketAddress& peer, SocketStatus& status);
  // The port the socket is bound to; 0 when it cannot be had.
  uint16_t LocalPort() const;

  // Waits up to `timeoutMs` (negative: without limit) until a receive (or
  // an accept) or a send would not block. kOk, kTimeout, kInterrupted or
  // kFailed.
  SocketStatus WaitReadable(int timeoutMs);
  SocketStatus WaitWritable(int timeoutMs);

  // One send call that never waits; `sent` says how many bytes were taken.
  // A full send buffer is kTimeout.
  SocketStatus Send(const void* bytes, size_t length, size_t& sent);
  // Sends all `length` bytes (one send call even for 0 bytes), waiting for
  // room as long as the peer needs. With `giveUp` the wait goes in slices of
  // `sliceMs` and asks it between them (and after a signal): true ends the
  // send with the last status.
  SocketStatus SendAll(const void* bytes, size_t length, const GiveUpCheck& giveUp = {},
                       int sliceMs = 20);
  // One receive call. kClosed when the peer closed; with `noWait` no data
  // yet is kTimeout.
  SocketStatus Receive(void* buffer, size_t length, bool noWait, size_t& received);

  // Asks for a receive buffer of about `bytes` (best effort).
  void SetReceiveBuffer(int bytes);
  // Asks the system to wake a reader only once `bytes` have come (or the
  // stream ended), where it can (best effort; Windows cannot).
  void SetReceiveLowWater(int bytes);
  // Makes the next Close send a reset instead of an orderly end.
  void ResetOnClose();
  // Tells the peer nothing more will be read (or sent).
  void ShutDownReceiving();
  void ShutDownSending();

 private:
  // The platform handle: a descriptor, or a Winsock SOCKET.
  using Handle = intptr_t;
  static constexpr Handle kNoHandle = -1;
  explicit Socket(Handle handle) : handle_(handle) {}
  SocketStatus SetBlocking(bool blocking);

  // The system's calls under the portable parts (posix/ and win32/).
  static void CloseNative(Handle handle);
  // The IPv4 addresses of `host`; false, with `reason`, when there are none.
  static bool ResolveIpv4(const std::string& host, uint16_t port,
                          std::vector<SocketAddress>& addresses, std::string& reason);
  // Connects this non-blocking socket to `address`, waiting at most
  // `timeoutMs`; kTimeout when the time ran out.
  SocketStatus ConnectOne(const SocketAddress& address, int timeoutMs);
  void SetNoDelay();

  Handle handle_ = kNoHandle;
  bool blocking_ = true;
};

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

// A connected stream with time-limited receives.
class TcpStream {
 public:
  TcpStream() = default;
  explicit TcpStream(Socket socket) : socket_(std::move(socket)) {}

  bool IsOpen() const { return socket_.IsOpen(); }
  // Waits up to `timeoutMs` for bytes and stores at most `capacity` of them.
  // A signal ends the wait like a time-out, so that a reader between slices
  // can look at termination requests.
  ReceiveResult Receive(void* buffer, std::size_t capacity, int timeoutMs);
  // Sends every byte, waiting as long as the peer needs; false when the
  // connection is gone.
  bool SendAll(const void* data, std::size_t size);
  void SetReceiveBuffer(int bytes) { socket_.SetReceiveBuffer(bytes); }
  void SetReceiveLowWater(int bytes) { socket_.SetReceiveLowWater(bytes); }
  void Close() { socket_.Close(); }
  Socket& socket() { return socket_; }

 private:
  Socket socket_;
};

// Connects to `host`:`port` with no delay on small writes, waiting at most
// `timeoutMs`. On failure the stream is closed and `reason` says why.
TcpStream ConnectTcp(const std::string& host, int port, int timeoutMs, std::string& reason);

// Listens on 127.0.0.1 only, for test servers and tools that stand in for
// a server on one machine.
class TcpListener {
 public:
  TcpListener() = default;
  // `reason` says why when the result is closed.
  static TcpListener ListenLoopback(int port, std::string& reason);

  bool IsOpen() const { return socket_.IsOpen(); }
  // Waits up to `timeoutMs` for one connection; a closed stream on time-out.
  TcpStream Accept(int timeoutMs);

 private:
  Socket socket_;
};

}  // namespace platform
