#include "driver/Transfer.h"

#include <string>

#include "driver/DataTime.h"
#include "driver/FaultInjector.h"
#include "driver/Pacing.h"
#include "packet/PacketBuilder.h"
#include "platform/Termination.h"

namespace driver {
namespace {

double NsToMs(int64_t ns) { return static_cast<double>(ns) / static_cast<double>(kNsPerMs); }

class Transfer {
 public:
  Transfer(net::utServerSocket& connection, packet::SendBuffer& sendBuffer, RunEnvironment& env)
      : connection_(connection),
        buffer_(sendBuffer),
        env_(env),
        settings_(packet::Settings()),
        table_(packet::Parms()),
        state_(packet::Packets()),
        periodNs_(PacketPeriodNs(settings_.packetRate)),
        giveUp_([this] { return ShouldStop(); }),
        faults_(ActiveFaultScript(), settings_, state_, env.out) {}

  void Run() {
    platform::TimerResolutionRequest resolution;
    state_.timeTick =
        StartTimeTick(Streams().jumpToggle, settings_.timeGapFlag != 0, state_.timeTick);
    scheduleStartNs_ = env_.clock.NowNs();
    int64_t packetsInCycle = 0;
    for (;;) {
      const int64_t packetStartNs = env_.clock.NowNs();
      if (!BuildAndSend()) break;
      const int64_t sentNs = env_.clock.NowNs();
      buildAndSendMs_ = NsToMs(sentNs - packetStartNs);
      ++packetsInCycle;
      env_.clock.SleepUntilNs(
          NextWakeNs(scheduleStartNs_, packetsInCycle, periodNs_, packetStartNs, sentNs));
      if (state_.packetCounter >= settings_.packetRate) {
        EndCycle();
        packetsInCycle = 0;
      }
      if (ShouldStop()) break;
    }
    platform::Printf(env_.out,
                     "- YEB terminated the connection - go to 'wait for connect' state...\n\n");
  }

 private:
  bool ShouldStop() { return platform::TerminationRequested() || TakeKeyPress(env_.keys); }

  bool BuildAndSend() {
    if (!faults_.BeforeBuild()) return false;
    int32_t length = 0;
    if (settings_.sourceType == packet::kSourceNep) {
      length = packet::BuildNepPacket(settings_, table_, state_, buffer_.data(), env_.out);
    } else {
      packet::BuildCustomPacket(settings_, table_, state_, buffer_.data());
      length = state_.packetBufferSize;
    }
    faults_.AfterBuild(buffer_.data(), length);
    return faults_.Send(connection_, buffer_.data(), length, giveUp_);
  }

  void EndCycle() {
    platform::Printf(env_.out, "Overall send time is: %f\n",
                     NsToMs(env_.clock.NowNs() - scheduleStartNs_));
    // A cycle never takes less than a second; on schedule this wait has
    // already passed.
    const int64_t holdUntil = CycleHoldUntilNs(scheduleStartNs_);
    if (env_.clock.NowNs() < holdUntil) env_.clock.SleepUntilNs(holdUntil);
    scheduleStartNs_ = NextCycleStartNs(scheduleStartNs_, env_.clock.NowNs(), periodNs_);

    if (settings_.sourceType == packet::kSourceNep) {
      timeText_ = DataTimeText(static_cast<int64_t>(state_.nepTime));
      platform::Printf(env_.out, "- Current Time: %s\n", timeText_.c_str());
    } else {
      platform::Printf(env_.out, "- Time to build one packet and send(msec): ( %lf )\n",
                       buildAndSendMs_);
      timeText_ = DataTimeText(CustomDataTimeNs(state_.timeTick));
      platform::Printf(env_.out, "- Current Time: %s\n", timeText_.c_str());
      if (settings_.timeGapFlag && TimeTextCallsForDoubling(timeText_)) state_.timeTick *= 2u;
    }
    if (settings_.timeJumpFlag) {
      ++cycleCount_;
      if (cycleCount_ % 10 == 0) {
        state_.timeTick += kTimeJumpTicks;
        Streams().jumpToggle ^= 1;
      }
    }
  }

  net::utServerSocket& connection_;
  packet::SendBuffer& buffer_;
  RunEnvironment& env_;
  const packet::RunSettings& settings_;
  packet::ParmTable& table_;
  packet::PacketState& state_;
  const int64_t periodNs_;
  const net::utServerSocket::GiveUpCheck giveUp_;
  FaultInjector faults_;
  int64_t scheduleStartNs_ = 0;
  double buildAndSendMs_ = 0.0;
  int32_t cycleCount_ = 0;
  std::string timeText_;
};

}  // namespace

bool TakeKeyPress(platform::KeySource& keys) {
  if (!keys.KeyPending()) return false;
  keys.ReadKey();
  return true;
}

StreamState& Streams() {
  static StreamState state;
  return state;
}

void ResetStreamState() { Streams() = StreamState{}; }

void RunTransfer(net::utServerSocket& connection, packet::SendBuffer& sendBuffer,
                 RunEnvironment& env) {
  Transfer(connection, sendBuffer, env).Run();
}

}  // namespace driver
