// The POSIX socket calls of the server socket, with their error numbers
// turned into plain outcomes.
//
// Each call maps errno to what the caller needs to decide: go on, retry, wait
// for room, or fail (with the error number for the message). Sends never
// raise SIGPIPE. Addresses are IPv4 socket addresses in network byte order.
//
// Thread safety: each call works on the descriptor it is given only.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

namespace platform {

inline constexpr int kNoSocket = -1;

// A TCP/IPv4 stream socket, or kNoSocket with `*error` set.
int SocketCreateTcp(int* error);
// Lets a port in the closing state be bound again; best effort.
void SocketAllowAddressReuse(int fd);
// 0 on success, else the error number.
int SocketBind(int fd, const sockaddr_in& address);
int SocketListen(int fd, int backlog);

// Makes a listening socket's accept return at once when nobody waits;
// accepted sockets still block.
void SocketMakeAcceptNonBlocking(int fd);
// True when a connection is waiting to be accepted (or the socket failed)
// within `timeoutMs`.
bool SocketWaitReadable(int fd, int timeoutMs);

enum class AcceptOutcome {
  kAccepted,
  kRetry,  // nobody waiting, interrupted, or the client left before it was accepted
  kFailed,
};
AcceptOutcome SocketAccept(int listenFd, int* acceptedFd, sockaddr_in* peer);

enum class SendOutcome {
  kSent,         // `*sent` bytes were taken (possibly fewer than asked)
  kInterrupted,  // a signal came first; nothing was taken
  kWouldBlock,   // no room now (only when `noWait`)
  kFailed,       // the connection is gone
};
SendOutcome SocketSend(int fd, const void* bytes, size_t length, bool noWait, size_t* sent);
// True when the socket can take more bytes within `timeoutMs`.
bool SocketWaitWritable(int fd, int timeoutMs);

enum class ReceiveOutcome { kReceived, kInterrupted, kClosed, kFailed };
ReceiveOutcome SocketReceive(int fd, void* buffer, size_t length, size_t* received);

void SocketClose(int fd);
// The local port of a bound socket, host order; 0 when it cannot be had.
uint16_t SocketLocalPort(int fd);

}  // namespace platform
