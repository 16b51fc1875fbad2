// The one error mapping of the socket unit, and the calls the server and the
// client share, over real loopback sockets.
#include "platform/Socket.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <cerrno>
#endif

#include <string>

namespace {

using platform::SocketCode;

#ifdef _WIN32
constexpr int kInterrupted = WSAEINTR, kWouldBlock = WSAEWOULDBLOCK, kAborted = WSAECONNABORTED,
              kReset = WSAECONNRESET, kUnreachable = WSAENETUNREACH;
#else
constexpr int kInterrupted = EINTR, kWouldBlock = EWOULDBLOCK, kAborted = ECONNABORTED,
              kReset = ECONNRESET, kUnreachable = ENETUNREACH;
#endif

TEST(SocketStatus, OneMappingDecidesWhatTheCallerDoesNext) {
  struct Case {
    const char* call;
    int error;
    SocketCode expected;
  };
  const Case cases[] = {
      {"send", 0, SocketCode::kOk},
      {"send", kInterrupted, SocketCode::kInterrupted},
      {"accept", kInterrupted, SocketCode::kInterrupted},
      {"send", kWouldBlock, SocketCode::kTimeout},
      {"recv", kWouldBlock, SocketCode::kTimeout},
      // A client that left before it was taken is no failure of the listener.
      {"accept", kAborted, SocketCode::kRetry},
      {"accept", kUnreachable, SocketCode::kRetry},
      // The same numbers end a connection that was already there.
      {"send", kAborted, SocketCode::kFailed},
      {"send", kUnreachable, SocketCode::kFailed},
      {"recv", kReset, SocketCode::kFailed},
      {"bind", platform::AddressInUseError(), SocketCode::kFailed},
  };
  for (const Case& c : cases) {
    platform::SocketStatus status = platform::SocketStatusFromError(c.call, c.error);
    EXPECT_EQ(status.code, c.expected) << c.call << " " << c.error;
    EXPECT_EQ(status.error, c.error);
  }
  const std::string text =
      platform::SocketStatusFromError("bind", platform::AddressInUseError()).ToString();
  EXPECT_EQ(text.rfind("bind: ", 0), 0u) << text;
  EXPECT_NE(text.find("(" + std::to_string(platform::AddressInUseError()) + ")"), std::string::npos)
      << text;
}

TEST(Socket, AListenerAcceptsWithoutBlockingAndStreamsBothWays) {
  std::string reason;
  platform::TcpListener listener = platform::TcpListener::ListenLoopback(0, reason);
  ASSERT_TRUE(listener.IsOpen()) << reason;
  EXPECT_FALSE(listener.Accept(0).IsOpen());

  platform::SocketStatus status;
  platform::Socket server = platform::Socket::OpenTcp(status);
  ASSERT_TRUE(server.IsOpen()) << status.ToString();
  ASSERT_TRUE(server.Bind({platform::kLoopbackIp, 0}).ok());
  ASSERT_TRUE(server.Listen(1).ok());
  const uint16_t port = server.LocalPort();
  ASSERT_NE(port, 0);

  platform::SocketAddress peer;
  EXPECT_FALSE(server.Accept(peer, status).IsOpen());
  EXPECT_EQ(status.code, SocketCode::kTimeout) << "nobody waits: accept must not block";

  platform::TcpStream client = platform::ConnectTcp("127.0.0.1", port, 2000, reason);
  ASSERT_TRUE(client.IsOpen()) << reason;
  ASSERT_TRUE(server.WaitReadable(2000).ok());
  platform::Socket connection = server.Accept(peer, status);
  ASSERT_TRUE(connection.IsOpen()) << status.ToString();
  EXPECT_EQ(peer.ip, platform::kLoopbackIp);
  EXPECT_NE(peer.port, 0);

  // The accepted socket blocks: a receive waits for the bytes.
  ASSERT_TRUE(client.SendAll("ping", 4));
  char buffer[4];
  size_t received = 0;
  ASSERT_TRUE(connection.Receive(buffer, 4, false, received).ok());
  EXPECT_EQ(std::string(buffer, received), std::string("ping").substr(0, received));

  platform::ReceiveResult nothing = client.Receive(buffer, sizeof buffer, 10);
  EXPECT_EQ(nothing.status, platform::ReceiveStatus::kTimeout);
  connection.ShutDownSending();
  platform::ReceiveResult end = client.Receive(buffer, sizeof buffer, 2000);
  EXPECT_EQ(end.status, platform::ReceiveStatus::kClosed);
}

TEST(Socket, ConnectingWhereNobodyListensSaysWhy) {
  std::string reason;
  platform::SocketStatus status;
  platform::Socket probe = platform::Socket::OpenTcp(status);
  ASSERT_TRUE(probe.Bind({platform::kLoopbackIp, 0}).ok());
  const uint16_t port = probe.LocalPort();
  probe.Close();  // bound and released: nobody listens there now
  platform::TcpStream stream = platform::ConnectTcp("127.0.0.1", port, 2000, reason);
  EXPECT_FALSE(stream.IsOpen());
  EXPECT_EQ(reason.rfind("connect: ", 0), 0u) << reason;
}

}  // namespace
