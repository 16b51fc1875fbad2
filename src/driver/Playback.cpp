#include "driver/Playback.h"

#include <algorithm>
#include <memory>
#include <string>

#include "driver/AcceptLoop.h"
#include "driver/CycleStats.h"
#include "driver/DataTime.h"
#include "driver/Pacing.h"
#include "driver/PlaybackRecord.h"
#include "driver/PlaybackReport.h"
#include "driver/PlaybackScan.h"
#include "driver/Reasons.h"
#include "driver/RunSettings.h"
#include "io/utFile.h"
#include "net/utServerSocket.h"
#include "packet/PacketBuilder.h"
#include "platform/Clock.h"
#include "platform/Termination.h"

namespace driver {
namespace {

constexpr char kPlaybackType[] = "KestCustom";
constexpr int32_t kListenBacklog = 1;
constexpr char kFileComplete[] = "File is Complete(or read error?)...\n";

// Record times are shown 14 days on, as the recording systems count them.
constexpr int64_t kRecordTimeBaseNs = 14 * kOneDayNs;
constexpr int64_t kStampNs = 100'000;  // one time-stamp unit, 100 us

// A long wait is cut into slices so that a key press or a termination
// signal is noticed within one slice.
constexpr int64_t kWaitSliceNs = 20 * kNsPerMs;

// A record is late, for the statistics, when it goes out more than a
// millisecond (the smallest gap between records) after its due time.
constexpr int64_t kPlaybackLateNs = kNsPerMs;

class Playback {
 public:
  Playback(RunEnvironment& env, packet::SendBuffer& buffer, PlaybackObserver* observer,
           StatsFile* stats)
      : env_(env),
        observer_(observer),
        stats_(stats),
        settings_(Settings()),
        buffer_(buffer),
        giveUp_([this] { return ShouldStop(); }),
        plan_{settings_.playbackSpeed, settings_.playbackMaxGapMs, settings_.playbackLoops,
              settings_.playbackStartSeconds} {}

  // Why the file could not be opened, after kCannotOpen.
  const platform::Status& failure() const { return failure_; }

  PlaybackEnd Run() {
    if (file_.Open(settings_.playbackFilePath, io::utFile::kModeRead) != 0) {
      failure_ = file_.LastError();
      return PlaybackEnd::kCannotOpen;
    }
    if (settings_.playbackScan && !Prepare()) return PlaybackEnd::kReadError;
    platform::Printf(env_.out, "1. Playback Mode, Type: %s\n\n", kPlaybackType);
    platform::Printf(env_.out, "2. Playback File: %s\n\n", settings_.playbackFilePath.c_str());
    platform::Printf(env_.out, "3. Wait for YEB connect...\n\n");
    const uint16_t port = static_cast<uint16_t>(static_cast<uint32_t>(settings_.port) & 0xFFFFu);
    net::utServerSocket listener(port, kListenBacklog, env_.out);
    if (!listener.IsValid()) {
      platform::Printf(env_.out, "*-Error: Creating a server Socket - quiting...\n");
      PrintReason(env_.out, listener.LastError());
      return PlaybackEnd::kNoSocket;
    }

    int64_t connections = 0;
    for (;;) {
      Accepted accepted = AcceptGreeted(listener, /*greet=*/true, {}, env_.out);
      if (accepted.end == AcceptEnd::kTerminated) return PlaybackEnd::kTerminated;
      if (accepted.end != AcceptEnd::kConnected) return PlaybackEnd::kBadAccept;
      std::unique_ptr<net::utServerSocket> connection = std::move(accepted.connection);
      platform::Printf(env_.out, "4. Start data source transfer - hit any key to continue...\n\n");
      if (Replay(*connection, ++connections)) return fileEnd_;
      platform::Printf(env_.out,
                       "- YEB terminated the connection - go to 'wait for connect' state...\n\n");
      env_.out.Write(EndCauseLine(end_));
      if (platform::TerminationRequested()) return PlaybackEnd::kTerminated;
    }
  }

 private:
  // Replays records over one connection. True when the file ran out (the
  // reason is in fileEnd_), false when the connection ended.
  bool Replay(net::utServerSocket& connection, int64_t connectionNumber) {
    platform::TimerResolutionRequest resolution;
    end_ = TransferEnd::kClosed;
    const int64_t startNs = env_.clock.NowNs();
    TransferEvents events(StatsTarget{stats_, connectionNumber}, startNs);
    events.Connected();
    ReplayTally tally{CycleTally(kPlaybackLateNs), startNs};
    const bool fileEnded = ReplayRecords(connection, tally, events);
    events.Ended(end_, tally.records, tally.bytes);
    return fileEnded;
  }

  // What one connection's replay has sent, and its current cycle: one
  // second of wall time, closed by the first record sent after it.
  struct ReplayTally {
    CycleTally cycle;
    int64_t cycleStartNs;
    int64_t cycles = 0;
    int64_t records = 0;
    int64_t bytes = 0;
  };

  bool ReplayRecords(net::utServerSocket& connection, ReplayTally& tally, TransferEvents& events) {
    // The first record of a connection is only the time reference: the
    // record a failed send left behind, or the next one in the file.
    Next next = NextRecord();
    if (next.read.status != RecordRead::Status::kRecord) return FileEnded(next.read);
    int64_t scheduleStartNs = env_.clock.NowNs();
    int64_t gapsMs = 0;
    int64_t elapsedNs = 0;
    int64_t lastDueNs = scheduleStartNs;
    for (;;) {
      next = NextRecord();
      const RecordRead& read = next.read;
      if (read.status != RecordRead::Status::kRecord) return FileEnded(read);
      if (next.gap.jump) {
        platform::Printf(env_.out, "Excessive Header Time Jump: %lld\n",
                         static_cast<long long>(next.gap.recordedMs));
      }
      gapsMs += next.gap.ms;
      int64_t dueNs = PlaybackDueNs(scheduleStartNs, gapsMs, settings_.playbackSpeed);
      const int64_t nowNs = env_.clock.NowNs();
      if (FallenBehind(dueNs, nowNs, kPlaybackCatchUpNs)) {
        // Held up for long (a YEB that stopped reading): go on from now.
        scheduleStartNs = nowNs;
        gapsMs = 0;
        dueNs = nowNs;
        tally.cycle.ScheduleRestart();
      }
      // A record that does not go out is kept for the next connection, as
      // its reference, so that a YEB that went away loses nothing but that.
      if (!WaitUntil(dueNs)) return Hold(read);
      SentRecord sent{read.timeStamp, read.size, dueNs, env_.clock.NowNs(), 0};
      if (connection.Send(buffer_.data(), static_cast<int32_t>(read.size), giveUp_) != 0) {
        return Hold(read);
      }
      sent.sendEndNs = env_.clock.NowNs();
      if (observer_ != nullptr) observer_->RecordSent(sent);
      tally.cycle.Packet(sent.sendStartNs - dueNs, read.size, sent.sendEndNs - sent.sendStartNs);
      ++tally.records;
      tally.bytes += read.size;
      if (sent.sendEndNs - tally.cycleStartNs >= kNsPerSecond) {
        events.Cycle(sent.sendEndNs, ++tally.cycles, RecordTimeText(read.timeStamp),
                     tally.cycle.Take(), sent.sendEndNs - tally.cycleStartNs);
        tally.cycleStartNs = sent.sendEndNs;
      }
      elapsedNs += dueNs - lastDueNs;
      lastDueNs = dueNs;
      if (elapsedNs >= kNsPerSecond) {
        timeText_ = RecordTimeText(read.timeStamp);
        platform::Printf(env_.out, "- Current Time: %d : %s\n", read.timeStamp, timeText_.c_str());
        if (settings_.playbackScan) env_.out.Write(ProgressLine(scan_, plan_, position_));
        elapsedNs = 0;
      }
      if (ShouldStop()) return false;
    }
  }

  // A record to replay and the wait before it.
  struct Next {
    RecordRead read;
    RecordGap gap;
  };

  // The record after the last one taken, in file order across connections;
  // at the end of the file, the first record of the next pass when the plan
  // asks for one. The gap is from the record taken before (for a new pass,
  // the gap between the file's first two records, so the pace runs on).
  Next NextRecord() {
    if (held_) {
      held_ = false;
      return {heldRead_, RecordGap{}};
    }
    Next next{ReadNextRecord(file_, buffer_), RecordGap{}};
    if (!taken_) {
      taken_ = true;
      if (plan_.loops != 1) env_.out.Write(PassLine(1, plan_.loops));
      if (next.read.status == RecordRead::Status::kRecord) lastStamp_ = next.read.timeStamp;
      return next;
    }
    if (AnotherPass(next.read)) {
      ++position_.pass;
      env_.out.Write(PassLine(position_.pass, plan_.loops));
      if (file_.Seek64(io::utFile::kOriginStart, 0) != 0) {
        next.read.status = RecordRead::Status::kReadError;
        return next;
      }
      next.read = ReadNextRecord(file_, buffer_);
      next.gap.ms = scan_.joinGapMs;
      position_.index = 0;
      position_.replayedMs = 0;
    } else if (next.read.status == RecordRead::Status::kRecord) {
      next.gap = RecordGapMs(lastStamp_, next.read.timeStamp, plan_.maxGapMs);
      ++position_.index;
      position_.replayedMs += next.gap.ms;
    }
    if (next.read.status == RecordRead::Status::kRecord) lastStamp_ = next.read.timeStamp;
    return next;
  }

  // Whether the end of the file at `read` begins another pass. A record cut
  // short by the end of the file ends the pass too, and is said so.
  bool AnotherPass(const RecordRead& read) {
    if (read.status != RecordRead::Status::kEnd && read.status != RecordRead::Status::kTruncated) {
      return false;
    }
    if (scan_.records == 0 || (plan_.loops != 0 && position_.pass >= plan_.loops)) return false;
    env_.out.Write(RecordProblemText(read));
    return true;
  }

  bool Hold(const RecordRead& read) {
    held_ = true;
    heldRead_ = read;
    return false;
  }

  // Scans the file for the progress line and the looped passes, and moves
  // to the start point.
  bool Prepare() {
    io::FileRecordSource source(file_);
    scan_ = ScanRecording(source, plan_.maxGapMs, StartUnits(plan_.startSeconds));
    if (!scan_.start.found) {
      platform::Printf(env_.out,
                       "** Error - /PlaybackStart %g: no record of %s is that far after the "
                       "first (the file spans %s)\n",
                       plan_.startSeconds, settings_.playbackFilePath.c_str(),
                       DurationText(scan_.SpanUnits() / 10, true).c_str());
      return false;
    }
    position_ = {scan_.start.index, 1, scan_.start.replayedMs};
    return file_.Seek64(io::utFile::kOriginStart, scan_.start.offset) == 0;
  }

  static std::string RecordTimeText(int32_t timeStamp) {
    return DataTimeText(kRecordTimeBaseNs + int64_t{timeStamp} * kStampNs);
  }

  bool FileEnded(const RecordRead& read) {
    end_ = TransferEnd::kFileComplete;
    platform::Printf(env_.out, "%s", kFileComplete);
    env_.out.Write(RecordProblemText(read));
    switch (read.status) {
      case RecordRead::Status::kBadSize:
      case RecordRead::Status::kReadError:
      case RecordRead::Status::kNoMemory:
        fileEnd_ = PlaybackEnd::kReadError;
        break;
      default:
        fileEnd_ = PlaybackEnd::kFileComplete;
        break;
    }
    return true;
  }

  // Waits for `dueNs` in slices; false when a key or a signal ends the wait.
  bool WaitUntil(int64_t dueNs) {
    for (;;) {
      const int64_t nowNs = env_.clock.NowNs();
      if (nowNs >= dueNs) return true;
      env_.clock.SleepUntilNs(std::min(dueNs, nowNs + kWaitSliceNs));
      if (env_.clock.NowNs() < dueNs && ShouldStop()) return false;
    }
  }

  // Notes why the replay stops, for the end event.
  bool ShouldStop() { return StopRequested(env_, end_); }

  RunEnvironment& env_;
  PlaybackObserver* const observer_;
  StatsFile* const stats_;
  const RunSettings& settings_;
  packet::SendBuffer& buffer_;
  const net::utServerSocket::GiveUpCheck giveUp_;
  io::utFile file_;
  PlaybackEnd fileEnd_ = PlaybackEnd::kFileComplete;
  TransferEnd end_ = TransferEnd::kClosed;
  platform::Status failure_;
  std::string timeText_;
  const ReplayPlan plan_;
  RecordingScan scan_;
  ReplayPosition position_;
  bool taken_ = false;  // a record has been read
  int32_t lastStamp_ = 0;
  bool held_ = false;  // heldRead_'s record is in the buffer, not yet sent
  RecordRead heldRead_;
};

}  // namespace

bool PrintPlaybackInfo(platform::TextOut& out) {
  const RunSettings& settings = Settings();
  if (settings.playbackFlag != 1) {
    out.Write("** Error - /PlaybackInfo needs /Playback KestCustom FILE\n");
    return false;
  }
  io::utFile file;
  if (file.Open(settings.playbackFilePath, io::utFile::kModeRead) != 0) {
    platform::Printf(out, "** Error - Unable to open the playback file: %s\n",
                     settings.playbackFilePath.c_str());
    PrintReason(out, file.LastError());
    return false;
  }
  const ReplayPlan plan{settings.playbackSpeed, settings.playbackMaxGapMs, settings.playbackLoops,
                        settings.playbackStartSeconds};
  io::FileRecordSource source(file);
  const RecordingScan scan = ScanRecording(source, plan.maxGapMs, StartUnits(plan.startSeconds));
  out.Write(PlaybackInfoText(settings.playbackFilePath, scan, plan));
  return true;
}

PlaybackEnd RunPlayback(RunEnvironment& env, packet::SendBuffer& recordBuffer,
                        PlaybackObserver* observer, StatsFile* stats, platform::Status* failure) {
  Playback playback(env, recordBuffer, observer, stats);
  const PlaybackEnd end = playback.Run();
  if (failure != nullptr) *failure = playback.failure();
  return end;
}

}  // namespace driver
