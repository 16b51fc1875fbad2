#include "driver/Transfer.h"

#include <optional>
#include <string>

#include "driver/DataTime.h"
#include "driver/FaultInjector.h"
#include "driver/Pacing.h"
#include "driver/ProcessState.h"
#include "driver/RunSettings.h"
#include "driver/RunSignals.h"
#include "packet/PacketBuilder.h"
#include "platform/Termination.h"

namespace driver {
namespace {

double NsToMs(int64_t ns) { return static_cast<double>(ns) / static_cast<double>(kNsPerMs); }

class Transfer {
 public:
  Transfer(PacketSink& sink, packet::SendBuffer& sendBuffer, RunEnvironment& env,
           StatsTarget target)
      : sink_(sink),
        buffer_(sendBuffer),
        env_(env),
        settings_(Settings()),
        format_(PacketFormatOf(settings_)),
        table_(Parms()),
        state_(Packets()),
        periodNs_(PacketPeriodNs(settings_.packetRate)),
        target_(target),
        tally_(periodNs_),
        giveUp_([this] { return ShouldStop(); }),
        faults_(ActiveFaultScript(), settings_, state_, env.out) {
    faults_.SetListener(
        [this](const io::FaultEvent& event, double seconds, const std::string& dataTime) {
          WriteFaultEvent(target_, event, seconds, dataTime);
        });
  }

  void Run() {
    platform::TimerResolutionRequest resolution;
    state_.timeTick =
        StartTimeTick(Streams().jumpToggle, settings_.timeGapFlag != 0, state_.timeTick);
    const int64_t startNs = env_.clock.NowNs();
    scheduleStartNs_ = startNs;
    cycleScheduleStartNs_ = startNs;
    cycleStartNs_ = startNs;
    events_.emplace(target_, startNs);
    events_->Connected();
    int64_t packetsInCycle = 0;
    for (;;) {
      const int64_t packetStartNs = env_.clock.NowNs();
      if (!faults_.BeforeBuild()) {
        end_ = TransferEnd::kFault;
        break;
      }
      const SentPacket sent = NextPacketForLog();
      const int32_t length = Build();
      faults_.AfterBuild(buffer_.data(), length);
      const int64_t sendStartNs = env_.clock.NowNs();
      if (!faults_.Send(sink_, buffer_.data(), length, giveUp_)) {
        if (faults_.endedTransfer()) end_ = TransferEnd::kFault;
        break;
      }
      if (signals_.log && !faults_.withheld()) signals_.log->Add(sent, signals_.run->taps);
      const int64_t sentNs = env_.clock.NowNs();
      buildAndSendMs_ = NsToMs(sentNs - packetStartNs);
      // Lateness is against the schedule the cycle started with: a restart
      // moves the pacing on, but the packets after it are no less late.
      tally_.Packet(packetStartNs - PacketDueNs(cycleScheduleStartNs_, packetsInCycle, periodNs_),
                    length, sentNs - sendStartNs);
      ++packets_;
      bytes_ += length;
      ++packetsInCycle;
      const int64_t scheduleBefore = scheduleStartNs_;
      env_.clock.SleepUntilNs(
          NextWakeNs(scheduleStartNs_, packetsInCycle, periodNs_, packetStartNs, sentNs));
      if (scheduleStartNs_ != scheduleBefore) tally_.ScheduleRestart();
      if (state_.packetCounter >= settings_.packetRate) {
        EndCycle();
        packetsInCycle = 0;
      }
      if (ShouldStop()) break;
    }
    sink_.TransferEnded(end_);
    if (signals_.log) signals_.log->Flush();
    events_->Ended(end_, packets_, bytes_);
    platform::Printf(env_.out,
                     "- YEB terminated the connection - go to 'wait for connect' state...\n\n");
    env_.out.Write(EndCauseLine(end_, faults_.endingFault()));
  }

 private:
  // Notes why the transfer stops, for the end event.
  bool ShouldStop() { return StopRequested(env_, end_); }

  // Builds the next packet; returns the bytes to send.
  int32_t Build() {
    ++signals_.packetsBuilt;
    if (settings_.sourceType == packet::kSourceNep) {
      return packet::BuildNepPacket(format_, table_, state_, buffer_.data(), env_.out,
                                    signals_.run.get());
    }
    packet::BuildCustomPacket(format_, table_, state_, buffer_.data(), signals_.run.get());
    return state_.packetBufferSize;
  }

  // The packet about to be built as the value log names it: its number and
  // the data time of its first time word or entry.
  SentPacket NextPacketForLog() const {
    SentPacket sent;
    sent.connection = target_.connection;
    sent.sequence = signals_.packetsBuilt + 1;
    sent.packetTimeNs = settings_.sourceType == packet::kSourceNep
                            ? static_cast<int64_t>(state_.nepTime + packet::kNepTimeStepNs)
                            : CustomDataTimeNs(state_.timeTick);
    sent.bytes = buffer_.data();
    return sent;
  }

  void EndCycle() {
    // The overall time runs from the cycle's real start, not from the
    // pacing's schedule, which moves on after a stall and would hide it.
    platform::Printf(env_.out, "Overall send time is: %f\n",
                     NsToMs(env_.clock.NowNs() - cycleStartNs_));
    // A cycle never takes less than a second; on schedule this wait has
    // already passed.
    const int64_t holdUntil = CycleHoldUntilNs(scheduleStartNs_);
    if (env_.clock.NowNs() < holdUntil) env_.clock.SleepUntilNs(holdUntil);
    const int64_t heldNs = env_.clock.NowNs();
    const int64_t nextScheduleNs = NextCycleStartNs(scheduleStartNs_, heldNs);
    if (nextScheduleNs != scheduleStartNs_ + kNsPerSecond) tally_.ScheduleRestart();
    scheduleStartNs_ = nextScheduleNs;
    cycleScheduleStartNs_ = nextScheduleNs;
    const int64_t cycleNs = heldNs - cycleStartNs_;
    cycleStartNs_ = heldNs;
    ++cycles_;

    if (signals_.log) signals_.log->Flush();
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
    const CycleFigures figures = tally_.Take();
    if (figures.Behind()) env_.out.Write(BehindScheduleLine(figures));
    const SinkCycleReport sinkReport = sink_.TakeCycleReport();
    env_.out.Write(sinkReport.line);
    events_->Cycle(heldNs, cycles_, timeText_, figures, cycleNs, sinkReport.fields);
    // Every tenth cycle of the transfer.
    if (settings_.timeJumpFlag && cycles_ % 10 == 0) {
      state_.timeTick += kTimeJumpTicks;
      Streams().jumpToggle ^= 1;
    }
  }

  PacketSink& sink_;
  packet::SendBuffer& buffer_;
  RunEnvironment& env_;
  const RunSettings& settings_;
  const packet::PacketFormat format_;
  packet::ParmTable& table_;
  packet::PacketState& state_;
  const int64_t periodNs_;
  const StatsTarget target_;
  CycleTally tally_;
  const net::utServerSocket::GiveUpCheck giveUp_;
  FaultInjector faults_;
  RunSignals& signals_ = ActiveSignals();
  std::optional<TransferEvents> events_;
  TransferEnd end_ = TransferEnd::kClosed;
  int64_t scheduleStartNs_ = 0;       // the pacing's, moved on after a stall
  int64_t cycleScheduleStartNs_ = 0;  // the schedule this cycle started with
  int64_t cycleStartNs_ = 0;          // the counter read when this cycle began
  int64_t cycles_ = 0;                // ended in this transfer
  int64_t packets_ = 0;
  int64_t bytes_ = 0;
  double buildAndSendMs_ = 0.0;
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
                 RunEnvironment& env, StatsTarget stats) {
  SocketSink sink(connection);
  Transfer(sink, sendBuffer, env, stats).Run();
}

void RunTransfer(PacketSink& sink, packet::SendBuffer& sendBuffer, RunEnvironment& env,
                 StatsTarget stats) {
  Transfer(sink, sendBuffer, env, stats).Run();
}

}  // namespace driver
