// Every fault action under the fake clock: what arrives at the YEB, byte for
// byte, against packets built by a second, untouched builder.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "artefacts/ParmInfoFile.h"
#include "driver/FaultInjector.h"
#include "driver/ProcessState.h"
#include "driver/RunSettings.h"
#include "driver/Transfer.h"
#include "driver_fakes_support.h"
#include "packet/PacketBuilder.h"
#include "platform/TextOut.h"
#include "support/ChildProcess.h"

namespace {

// What one stretch of the expected stream holds: packets `from` to `to`
// (sequence numbers) as the reference builds them, each sent `copies`
// times, cut to `bytes` (-1: whole), with bit 0 of byte `flip` inverted.
struct Piece {
  uint32_t from;
  uint32_t to;
  int copies = 1;
  int bytes = -1;
  int flip = -1;
};

struct FaultCase {
  const char* script;
  bool nep;
  double keyAfterMs;  // ends the transfer unless a fault did first
  std::vector<Piece> expected;
  uint32_t jumpBefore = 0;   // the reference adds `jumpTicks` before this packet
  int64_t jumpTicks = 0;     // (NEP: time entries of 100 us)
  const char* printed = "";  // the fault line
};

// Two 50/s parameters: every Custom packet carries one value pair at byte
// 1244 and every NEP packet two value entries from byte 2404.
constexpr char kParameters[] = "2,50\n";
constexpr int kCustomValue = 1248;
constexpr int kNepValue = 2408;

class FaultInjectorTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override {
    Reset();
    driver::ActiveFaultScript() = io::FaultScript{};
  }
  static void Reset() {
    driver::ResetRunSettings();
    driver::ResetParmTable();
    driver::ResetPacketState();
    driver::ResetStreamState();
  }

  static void Load(const packet::PacketFormat& format, packet::ParmTable& table,
                   packet::PacketState& state) {
    std::istringstream in(kParameters);
    ASSERT_TRUE(artefacts::ReadParmInfo(in, "p", format, table, state).ok());
    state.packetHeader[0] = static_cast<uint32_t>(state.packetBufferSize - 4);
  }

  // The stream the case expects, from a builder no fault touches.
  static std::vector<uint8_t> Expected(const FaultCase& c) {
    packet::PacketFormat format;
    format.sourceType = c.nep ? packet::kSourceNep : packet::kSourceCustom;
    packet::ParmTable table;
    packet::PacketState state;
    Load(format, table, state);
    std::vector<std::vector<uint8_t>> built(1);  // built[g]: packet g
    platform::StringTextOut ignored;
    std::vector<uint8_t> out;
    for (const Piece& piece : c.expected) {
      while (built.size() <= piece.to) {
        if (built.size() == c.jumpBefore) {
          if (c.nep) {  // stops at 0
            const int64_t t = static_cast<int64_t>(state.nepTime) + c.jumpTicks * 100000;
            state.nepTime = static_cast<uint64_t>(std::max<int64_t>(t, 0));
          } else {
            state.timeTick += static_cast<uint32_t>(c.jumpTicks);
          }
        }
        std::vector<uint8_t> p(static_cast<size_t>(state.packetBufferSize));
        int32_t length = state.packetBufferSize;
        if (c.nep) {
          length = packet::BuildNepPacket(format, table, state, p.data(), ignored);
        } else {
          packet::BuildCustomPacket(format, table, state, p.data());
        }
        p.resize(static_cast<size_t>(length));
        built.push_back(std::move(p));
      }
      for (uint32_t g = piece.from; g <= piece.to; ++g) {
        std::vector<uint8_t> p = built[g];
        if (piece.flip >= 0) p[static_cast<size_t>(piece.flip)] ^= 1;
        if (piece.bytes >= 0) p.resize(static_cast<size_t>(piece.bytes));
        if (!c.nep && g == 1)
          out.insert(out.end(), packet::kCustomGreeting, packet::kCustomGreeting + 5);
        for (int i = 0; i < piece.copies; ++i) out.insert(out.end(), p.begin(), p.end());
      }
    }
    return out;
  }

  // Runs one transfer with the case's script; the bytes that arrived.
  std::vector<uint8_t> Run(const FaultCase& c) {
    driver::Settings().sourceType = c.nep ? packet::kSourceNep : packet::kSourceCustom;
    Load(driver::PacketFormatOf(driver::Settings()), driver::Parms(), driver::Packets());
    packet::SendBuffer buffer;
    EXPECT_TRUE(buffer.Allocate(driver::Packets().packetBufferSize));
    EXPECT_TRUE(io::ParseFaultScript(c.script, &driver::ActiveFaultScript()).ok());

    const uint16_t port = static_cast<uint16_t>(testsupport::FreeLoopbackPort());
    net::utServerSocket listener(port, 1, console);
    EXPECT_TRUE(listener.IsValid());
    std::string reason;
    platform::TcpStream client = platform::ConnectTcp("127.0.0.1", port, 2000, reason);
    EXPECT_TRUE(client.IsOpen()) << reason;
    std::unique_ptr<net::utServerSocket> connection = listener.Accept();
    EXPECT_TRUE(connection);
    if (!connection) return {};
    std::vector<uint8_t> received;
    std::thread reader([&] { received = drivertest::ReadUntilClosed(client, 20000); });
    // The greeting belongs to the run sequence; it is sent here so that the
    // expected stream reads as the YEB sees it.
    if (!c.nep) connection->Send(packet::kCustomGreeting, 5);
    drivertest::FakeClock clock;
    drivertest::ClockKeys keys{clock};
    keys.PressAfter(static_cast<int64_t>(c.keyAfterMs * 1e6));
    driver::RunEnvironment env{console, keys, clock};
    driver::RunTransfer(*connection, buffer, env);
    connection.reset();
    reader.join();
    return received;
  }

  platform::StringTextOut console;
};

TEST_F(FaultInjectorTest, EachActionSendsExactlyWhatItSays) {
  // At 50 packets/s packet g of the first cycle is due (g - 1) x 20 ms; the
  // first cycle is 49 packets, so packet 50 is due at 1 s. A key at 210 ms
  // ends a plain transfer after packet 11.
  const FaultCase cases[] = {
      {"0.1 drop 2",
       false,
       210,
       {{1, 5}, {8, 11}},
       0,
       0,
       "- Fault at 0.100 s (data 001:00:00:00.100): 0.1 drop 2\n"},
      {"0.09 duplicate 2", false, 210, {{1, 5}, {6, 6, 3}, {7, 11}}},
      {"0.1 corrupt", false, 210, {{1, 5}, {6, 6, 1, -1, kCustomValue}, {7, 11}}},
      {"0.1 truncate 100", false, 210, {{1, 5}, {6, 6, 1, 100}}},
      {"0.1 truncate 3", true, 210, {{1, 5}, {6, 6, 1, 3}}},
      {"0.1 stall 50", false, 210, {{1, 5}, {9, 11}}},
      {"0.1 disconnect", false, 210, {{1, 5}}},
      {"0.1 timejump 2.5",
       false,
       210,
       {{1, 11}},
       6,
       25000,
       "- Fault at 0.100 s (data 001:00:00:02.600): 0.1 timejump 2.5\n"},
      {"0.1 timejump -5",
       true,
       210,
       {{1, 11}},
       6,
       -50000,
       "- Fault at 0.100 s (data 000:00:00:00.000): 0.1 timejump -5\n"},
      {"0.1 corrupt", true, 210, {{1, 5}, {6, 6, 1, -1, kNepValue}, {7, 11}}},
      // The first due time at or after 0.97 s is the second cycle's start.
      {"0.97 drop 1",
       false,
       1030,
       {{1, 49}, {51, 51}},
       0,
       0,
       "- Fault at 1.000 s (data 001:00:00:00.980): 0.97 drop 1\n"},
      // A withheld packet does not take the duplicate: the next one sent does.
      {"0.1 drop 1\n0.1 duplicate 1", false, 210, {{1, 5}, {7, 7, 2}, {8, 11}}},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(std::string(c.nep ? "NEP: " : "Custom: ") + c.script);
    Reset();
    console = platform::StringTextOut{};
    const std::vector<uint8_t> expected = Expected(c);
    const std::vector<uint8_t> received = Run(c);
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
    if (*c.printed != '\0') {
      EXPECT_NE(console.text().find(c.printed), std::string::npos) << console.text();
    }
  }
}

TEST_F(FaultInjectorTest, AnEmptyScriptLeavesTheStreamAlone) {
  const FaultCase plain{"# nothing\n", false, 210, {{1, 11}}};
  EXPECT_TRUE(Run(plain) == Expected(plain));
  EXPECT_EQ(console.text().find("- Fault"), std::string::npos);
}

}  // namespace
