#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/utServerSocket.h"
#include "platform/Socket.h"
#include "platform/TextOut.h"
#include "support/ChildProcess.h"
#include "support/PortTaken.h"

namespace {

// A listener on a free loopback port with one client connected to it.
class ServerSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port = static_cast<uint16_t>(testsupport::FreeLoopbackPort());
    listener = std::make_unique<net::utServerSocket>(port, 1, console);
    ASSERT_TRUE(listener->IsValid()) << console.text();
  }

  void Connect() {
    std::string reason;
    client = platform::ConnectTcp("127.0.0.1", port, 2000, reason);
    ASSERT_TRUE(client.IsOpen()) << reason;
    connection = listener->Accept();
    ASSERT_TRUE(connection);
  }

  // Reads exactly `size` bytes from the client, within a time limit.
  std::vector<uint8_t> ReadFromClient(size_t size) {
    std::vector<uint8_t> bytes(size);
    size_t got = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got < size && std::chrono::steady_clock::now() < limit) {
      platform::ReceiveResult r = client.Receive(bytes.data() + got, size - got, 200);
      if (r.status == platform::ReceiveStatus::kData) got += r.bytes;
      if (r.status == platform::ReceiveStatus::kClosed ||
          r.status == platform::ReceiveStatus::kError)
        break;
    }
    bytes.resize(got);
    return bytes;
  }

  platform::StringTextOut console;
  uint16_t port = 0;
  std::unique_ptr<net::utServerSocket> listener;
  platform::TcpStream client;
  std::unique_ptr<net::utServerSocket> connection;
};

TEST_F(ServerSocketTest, ALargeSendArrivesWholeAndInOrder) {
  Connect();
  std::vector<uint8_t> sent(24 << 20);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 7 + i / 251);
  std::vector<uint8_t> received;
  std::thread reader([&] { received = ReadFromClient(sent.size()); });
  EXPECT_EQ(connection->Send(sent.data(), static_cast<int32_t>(sent.size())), 0);
  reader.join();
  EXPECT_TRUE(received == sent);
}

TEST_F(ServerSocketTest, ReceiveFillsTheBufferAndFailsWhenThePeerCloses) {
  Connect();
  ASSERT_TRUE(client.SendAll("abcdef", 6));
  char buffer[4];
  EXPECT_EQ(connection->Receive(buffer, 4), 0);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  EXPECT_EQ(connection->Receive(buffer, 0), 0);
  client.Close();
  EXPECT_EQ(connection->Receive(buffer, 4), 1);
}

TEST_F(ServerSocketTest, SendToAVanishedPeerFailsWithoutKillingTheProcess) {
  Connect();
  client.Close();
  std::vector<uint8_t> bytes(1 << 20);
  int result = 0;
  for (int i = 0; i < 20 && result == 0; ++i)
    result = connection->Send(bytes.data(), static_cast<int32_t>(bytes.size()));
  EXPECT_EQ(result, 1);
}

TEST_F(ServerSocketTest, ABlockedSendGivesUpWhenAsked) {
  Connect();
  std::vector<uint8_t> bytes(64 << 20);  // far more than the socket buffers hold
  int asked = 0;
  EXPECT_EQ(connection->Send(bytes.data(), static_cast<int32_t>(bytes.size()),
                             [&] { return ++asked >= 3; }),
            1);
  EXPECT_EQ(asked, 3);
}

TEST_F(ServerSocketTest, ASlowReaderStillGetsEveryByteWithAGiveUpCheck) {
  Connect();
  std::vector<uint8_t> sent(16 << 20);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i % 253);
  std::vector<uint8_t> received;
  // The reader starts only once the send has had to wait for room (it asks
  // the give-up check only then), so the waiting path is the one tested.
  std::atomic<bool> waited{false};
  std::thread reader([&] {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!waited && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
    received = ReadFromClient(sent.size());
  });
  EXPECT_EQ(connection->Send(sent.data(), static_cast<int32_t>(sent.size()),
                             [&] {
                               waited = true;
                               return false;
                             }),
            0);
  EXPECT_TRUE(waited);
  reader.join();
  EXPECT_TRUE(received == sent);
}

TEST_F(ServerSocketTest, WithoutASocketEveryCallFails) {
  Connect();
  EXPECT_EQ(connection->Close(), 0);
  EXPECT_FALSE(connection->IsValid());
  EXPECT_EQ(connection->Close(), 1);
  EXPECT_EQ(connection->Send("x", 1), 1);
  char c;
  EXPECT_EQ(connection->Receive(&c, 1), 1);
  EXPECT_EQ(connection->Accept(), nullptr);
}

TEST_F(ServerSocketTest, ABindFailureIsReportedAndLeavesNoSocket) {
  platform::StringTextOut second;
  net::utServerSocket taken(port, 1, second);
  EXPECT_FALSE(taken.IsValid());
  EXPECT_TRUE(testsupport::HoldsPortTakenBindMessage(second.text())) << second.text();
}

TEST_F(ServerSocketTest, APortInTheClosingStateCanBeBoundAgain) {
  Connect();
  std::vector<uint8_t> bytes(1000);
  ASSERT_EQ(connection->Send(bytes.data(), 1000), 0);
  connection.reset();  // the server closes first: its side stays in TIME_WAIT
  ReadFromClient(1000);
  listener.reset();
  platform::StringTextOut again;
  net::utServerSocket rebound(port, 1, again);
  EXPECT_TRUE(rebound.IsValid()) << again.text();
}

TEST_F(ServerSocketTest, ConnectionsComeOneAfterAnother) {
  for (int i = 0; i < 50; ++i) {
    Connect();
    uint8_t byte = static_cast<uint8_t>(i);
    ASSERT_EQ(connection->Send(&byte, 1), 0);
    ASSERT_EQ(ReadFromClient(1), std::vector<uint8_t>{byte});
    client.Close();
    connection.reset();
  }
}

}  // namespace
