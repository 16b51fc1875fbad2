#include "Verifier.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "ByteOrder.h"
#include "StreamGuess.h"

namespace yebverify {
namespace {

constexpr int kReceiveSliceMs = 50;  // how often a waiting read looks at the clock and the keyboard
constexpr int64_t kReportPeriodNs = 1'000'000'000;
constexpr size_t kGreetingBytes = 5;
// Enough of the first packet for its time words at any rate (a Custom
// packet's 100 time pairs end at byte 1249).
constexpr size_t kHintBytes = 4096;
// The hint is given when failures start this early: a stream of another
// shape fails at once.
constexpr uint64_t kHintPackets = 2;

std::string Join(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}

class TcpByteStream final : public ByteStream {
 public:
  explicit TcpByteStream(platform::TcpStream stream) : stream_(std::move(stream)) {
    // Large packets arrive faster than one scheduling slice can drain a
    // default-sized buffer.
    stream_.SetReceiveBuffer(8 << 20);
  }
  platform::ReceiveResult Receive(void* buffer, size_t capacity, int timeoutMs) override {
    return stream_.Receive(buffer, capacity, timeoutMs);
  }

  // Woken for every segment, reader and sender (who wakes it) spend more on
  // the waking than on the bytes of a large stream. Waking only once the
  // bytes the reader needs have come keeps each packet's arrival time: the
  // last of its bytes still wakes the reader at once.
  void Expect(size_t bytes) override {
    const int lowWater = static_cast<int>(std::clamp<size_t>(bytes, 1, kMostLowWater));
    if (lowWater == lowWater_) return;
    stream_.SetReceiveLowWater(lowWater);
    lowWater_ = lowWater;
  }

 private:
  // Wakes at least every this many bytes, so that a packet of many
  // megabytes is taken in a piece at a time, well inside the buffer.
  static constexpr size_t kMostLowWater = size_t{1} << 20;

  platform::TcpStream stream_;
  int lowWater_ = 1;  // the system's default
};

}  // namespace

std::unique_ptr<ByteStream> TcpConnector::Connect(std::string& reason) {
  const int64_t deadline = platform::CounterNow() + static_cast<int64_t>(waitSeconds_ * 1e9);
  for (;;) {
    platform::TcpStream stream = platform::ConnectTcp(host_, port_, 1000, reason);
    if (stream.IsOpen()) return std::make_unique<TcpByteStream>(std::move(stream));
    reason = "cannot connect to " + host_ + ":" + std::to_string(port_) + ": " + reason;
    if (platform::CounterNow() >= deadline || (stopRequested_ && stopRequested_())) return nullptr;
    platform::SleepMs(100);
  }
}

Verifier::Verifier(const VerifyOptions& options, const StreamModel& model, VerifierIo io)
    : options_(options),
      model_(model),
      io_(std::move(io)),
      checker_(model, TimeOptions{options.timeJump, options.timeGap, options.joinLate}, failures_),
      stats_(model.shape().packetRate) {
  if (io_.clock == nullptr) io_.clock = &platform::SystemClock();
  const uint64_t timeBytes = static_cast<uint64_t>(model_.timeValuesPerPacket()) * 6;
  if (model_.shape().source == SourceKind::kCustom) {
    minPacketBytes_ = 32 + 12 + timeBytes;
  } else {
    minPacketBytes_ = 4 + 2 * timeBytes;
  }
  // A size word well above the largest packet the list allows cannot be
  // trusted to size a read.
  maxPacketBytes_ = std::max<uint64_t>(2 * model_.packetSizeLimit(), 1 << 20);
  // The buffer starts small and grows to the packets that actually arrive: a
  // list may allow packets of a gigabyte that no stream ever sends.
  buffer_.resize(static_cast<size_t>(std::min<uint64_t>(maxPacketBytes_, 1 << 20) + (4 << 20)));
  failures_.SetListener([this](const FailureRecord& record) {
    if (io_.metrics != nullptr) io_.metrics->Failure(FailureKindName(record.kind));
    Emit("FAIL " + FormatFailure(record) + "\n", FailureJson(record, options_.runId));
  });
}

void Verifier::Emit(const std::string& human, const Json& json, bool always) {
  if (!options_.quiet || always) io_.out(options_.json ? JsonText(json) : human);
  if (io_.jsonOut) io_.jsonOut(JsonText(json));
}

ReportFigures Verifier::MakeFigures(const TimingFigures& timing) const {
  ReportFigures f;
  f.wallTime = WallClockText();
  f.elapsedSeconds = static_cast<double>(io_.clock->NowNs() - runStartNs_) / 1e9;
  if (checker_.packetsChecked() > 0) f.dataTime = FormatDataTime(checker_.dataTimeNs());
  f.nominalRate = model_.shape().packetRate;
  f.samples = checker_.samplesChecked();
  f.totalPackets = checker_.packetsChecked();
  f.connections = connections_;
  f.missedPackets = checker_.packetsMissedBetweenConnections();
  f.joinedAtSequence = checker_.joinedAtSequence();
  f.timing = timing;
  return f;
}

void Verifier::MaybeReport() {
  const int64_t now = io_.clock->NowNs();
  if (now < nextReportNs_) return;
  while (nextReportNs_ <= now) nextReportNs_ += kReportPeriodNs;
  TimingFigures window = stats_.TakeWindow();
  if (io_.metrics != nullptr) io_.metrics->SteadyRate(stats_.Total().steadyRate);
  if (options_.quiet && !io_.jsonOut) return;
  ReportFigures f = MakeFigures(window);
  Emit(ProgressLine(f, checker_.packetsChecked(), failures_),
       FiguresJson("progress", f, failures_, options_.runId));
}

bool Verifier::LimitReached() const {
  if (options_.packets > 0 && connectionPackets_ >= options_.packets) return true;
  if (options_.seconds > 0.0 &&
      static_cast<double>(io_.clock->NowNs() - connectionStartNs_) >= options_.seconds * 1e9) {
    return true;
  }
  return false;
}

bool Verifier::GrowBuffer(size_t bytes) {
  // Room for two more packets (up to 64 MiB more) where memory allows, so
  // that the buffer is compacted, moving what has come of the next packet
  // to its start, only every few packets.
  constexpr size_t kMostAhead = size_t{64} << 20;
  try {
    buffer_.resize(bytes + std::min(2 * bytes, kMostAhead) + (4 << 20));
    return true;
  } catch (const std::bad_alloc&) {
    // Room for this packet alone, then.
  }
  try {
    buffer_.resize(bytes + (4 << 20));
    return true;
  } catch (const std::bad_alloc&) {
    failures_.Record(FailureKind::kSize, checker_.packetsChecked() + 1, 0, [&] {
      return "no memory for a packet of " + std::to_string(bytes) + " bytes, stopping";
    });
    return false;
  }
}

bool Verifier::Need(ByteStream& stream, size_t bytes, ConnectionEnd& end) {
  while (end_ - begin_ < bytes) {
    if (io_.stopRequested && io_.stopRequested()) {
      end = ConnectionEnd::kStopped;
      return false;
    }
    if (LimitReached()) {
      end = ConnectionEnd::kLimit;
      return false;
    }
    MaybeReport();
    if (begin_ + bytes > buffer_.size()) {
      if (previousInBuffer_) {
        // Only a packet that starts as the previous one did can repeat it:
        // when what has come of the next one already differs, the previous
        // packet (megabytes on a large stream) need not be kept.
        const uint8_t* previous = buffer_.data() + begin_ - previousBytes_;
        const size_t known = std::min(end_ - begin_, previousBytes_);
        if (std::memcmp(previous, buffer_.data() + begin_, known) == 0) {
          previous_.assign(previous, previous + previousBytes_);
        } else {
          previousBytes_ = 0;
        }
        previousInBuffer_ = false;
      }
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    if (bytes > buffer_.size() && !GrowBuffer(bytes)) {
      end = ConnectionEnd::kFramingLost;
      return false;
    }
    stream.Expect(bytes - (end_ - begin_));
    platform::ReceiveResult r =
        stream.Receive(buffer_.data() + end_, buffer_.size() - end_, kReceiveSliceMs);
    if (r.status == platform::ReceiveStatus::kData) {
      if (connections_ == 1 && firstBytes_.size() < kHintBytes) {
        const size_t keep = std::min(r.bytes, kHintBytes - firstBytes_.size());
        firstBytes_.insert(firstBytes_.end(), buffer_.data() + end_, buffer_.data() + end_ + keep);
      }
      end_ += r.bytes;
      const uint64_t chunkEnd = streamOffset_ + (end_ - begin_);
      chunks_.push_back(Chunk{chunkEnd, io_.clock->NowNs()});
      continue;
    }
    if (r.status == platform::ReceiveStatus::kTimeout) continue;
    if (end_ > begin_) {
      const std::string how = r.status == platform::ReceiveStatus::kClosed
                                  ? "the stream ended"
                                  : "the connection failed (" + r.error + ")";
      checker_.Fault(FailureKind::kTruncated, checker_.lastPacketNumber() + 1,
                     static_cast<int64_t>(end_ - begin_), end_ - begin_,
                     how + " with " + std::to_string(end_ - begin_) +
                         " bytes of a packet received, " + std::to_string(bytes) + " expected");
    }
    end = ConnectionEnd::kStreamEnded;
    return false;
  }
  return true;
}

void Verifier::ExpectFaults(const io::FaultScript& script) {
  const int64_t timeStep = model_.shape().source == SourceKind::kCustom ? 100000 : 1;
  expected_ = std::make_unique<ExpectedFaults>(script, model_.shape().packetRate, timeStep);
  checker_.SetFaultMatcher(expected_.get());
}

bool Verifier::RepeatsPrevious(size_t packetBytes) const {
  if (previousBytes_ != packetBytes) return false;
  const uint8_t* previous =
      previousInBuffer_ ? buffer_.data() + begin_ - previousBytes_ : previous_.data();
  // Consecutive packets differ in their first words (sequence or time), so
  // this compare ends at once unless the packet really is a repeat.
  return std::memcmp(previous, buffer_.data() + begin_, packetBytes) == 0;
}

void Verifier::EndConnection(ConnectionEnd end) {
  checker_.EndConnection();
  const uint64_t next = checker_.lastPacketNumber() + 1;
  if (expected_ && connectionPackets_ == 0) expected_->BeginTransfer(next);
  // The tool ends a transfer of its own only when told to; while this run
  // still wanted packets, a close at a packet boundary is a disconnect.
  const bool wanted = options_.packets > 0 || options_.seconds > 0.0 || moreConnections_;
  if (end == ConnectionEnd::kStreamEnded && end_ == begin_ &&
      (wanted || (expected_ && expected_->ExpectsEnd(next)))) {
    checker_.Fault(FailureKind::kDisconnected, next, 0, 0,
                   "the tool closed the connection before packet " + std::to_string(next));
  }
  if (!expected_) return;
  for (const std::string& missing : expected_->EndTransfer(checker_.lastPacketNumber())) {
    failures_.Record(FailureKind::kFaultNotSeen, checker_.packetsChecked(), 0,
                     [&] { return missing; });
  }
}

Verifier::ConnectionEnd Verifier::RunConnection(ByteStream& stream) {
  previousBytes_ = 0;
  previousInBuffer_ = false;
  begin_ = end_ = 0;
  chunks_.clear();
  firstChunk_ = 0;
  streamOffset_ = 0;
  connectionPackets_ = 0;
  connectionStartNs_ = io_.clock->NowNs();
  checker_.BeginConnection();
  stats_.BeginConnection();
  ConnectionEnd end = ConnectionEnd::kStreamEnded;

  if (model_.shape().source == SourceKind::kCustom) {
    if (!Need(stream, kGreetingBytes, end)) return end;
    checker_.CheckGreeting(buffer_.data() + begin_);
    begin_ += kGreetingBytes;
    streamOffset_ += kGreetingBytes;
  }
  for (;;) {
    if (LimitReached()) return ConnectionEnd::kLimit;
    if (io_.stopRequested && io_.stopRequested()) return ConnectionEnd::kStopped;
    MaybeReport();
    if (!Need(stream, 4, end)) return end;
    const uint64_t packetBytes = static_cast<uint64_t>(ReadLe32(buffer_.data() + begin_)) + 4;
    if (packetBytes < minPacketBytes_ || packetBytes > maxPacketBytes_) {
      failures_.Record(FailureKind::kSize, checker_.packetsChecked() + 1, 0, [&] {
        return "size word " + std::to_string(packetBytes - 4) +
               " cannot start a packet of this stream (" + std::to_string(minPacketBytes_) +
               " to " + std::to_string(maxPacketBytes_) + " bytes): framing lost, stopping";
      });
      return ConnectionEnd::kFramingLost;
    }
    if (!Need(stream, static_cast<size_t>(packetBytes), end)) return end;
    // The packet arrived with the chunk that brought its first byte.
    while (firstChunk_ < chunks_.size() && chunks_[firstChunk_].endOffset <= streamOffset_)
      ++firstChunk_;
    const int64_t arrival =
        firstChunk_ < chunks_.size() ? chunks_[firstChunk_].arrivalNs : io_.clock->NowNs();
    if (firstChunk_ > 1024) {
      chunks_.erase(chunks_.begin(), chunks_.begin() + static_cast<std::ptrdiff_t>(firstChunk_));
      firstChunk_ = 0;
    }
    const uint64_t samplesBefore = checker_.samplesChecked();
    checker_.CheckPacket(buffer_.data() + begin_, static_cast<size_t>(packetBytes),
                         RepeatsPrevious(static_cast<size_t>(packetBytes)));
    stats_.AddPacket(arrival, packetBytes, checker_.lastPacketNumber());
    if (io_.metrics != nullptr) {
      io_.metrics->Packet(packetBytes, checker_.samplesChecked() - samplesBefore,
                          stats_.lastLateNs());
    }
    ++connectionPackets_;
    begin_ += static_cast<size_t>(packetBytes);
    streamOffset_ += packetBytes;
    previousBytes_ = static_cast<size_t>(packetBytes);
    previousInBuffer_ = true;
  }
}

std::string Verifier::Unmet() const {
  std::vector<std::string> missing;
  const double seconds = static_cast<double>(io_.clock->NowNs() - connectionStartNs_) / 1e9;
  char text[160];
  if (options_.seconds > 0.0 && seconds < options_.seconds) {
    std::snprintf(text, sizeof text, "%.1f s of --seconds %g", seconds, options_.seconds);
    missing.push_back(text);
  }
  if (options_.packets > 0 && connectionPackets_ < options_.packets) {
    missing.push_back(std::to_string(connectionPackets_) + " of --packets " +
                      std::to_string(options_.packets));
  }
  if (connections_ < static_cast<uint64_t>(options_.reconnects) + 1) {
    missing.push_back("connection " + std::to_string(connections_) + " of " +
                      std::to_string(options_.reconnects + 1) + " (--reconnect " +
                      std::to_string(options_.reconnects) + ")");
  }
  return Join(missing);
}

Verdict Verifier::Decide(const std::string& error, const std::string& incomplete,
                         const std::string& broken) const {
  Verdict v;
  const uint64_t packets = checker_.packetsChecked();
  if (!error.empty() && packets == 0) {
    v = Verdict{kExitError, "error", "yebverify: error: " + error, {}};
  } else if (failures_.total() > 0) {
    v = Verdict{kExitFailed,
                "failed",
                "yebverify: FAILED: " + std::to_string(failures_.total()) + " failed checks (" +
                    failures_.CountsText() + ") in " + std::to_string(packets) + " packets",
                {}};
    if (!incomplete.empty()) v.text += "; INCOMPLETE: " + incomplete;
    if (!broken.empty()) v.text += "; " + broken;
  } else if (packets == 0) {
    v = Verdict{kExitError, "error", "yebverify: error: no packet arrived", {}};
  } else if (!incomplete.empty()) {
    v = Verdict{kExitFailed, "incomplete", "yebverify: INCOMPLETE: " + incomplete, {}};
    if (!broken.empty()) v.text += "; " + broken;
  } else if (!broken.empty()) {
    v = Verdict{kExitFailed, "failed", "yebverify: FAILED: " + broken, {}};
  } else {
    v.text = "yebverify: OK: " + std::to_string(packets) + " packets, " +
             std::to_string(checker_.samplesChecked()) + " samples checked, no failures";
    if (expected_) {
      v.text += ", " + std::to_string(expected_->matched().size()) + " faults as expected";
    }
  }
  // A stream of another shape fails in its first packets; later failures
  // are the stream's own.
  const std::vector<FailureRecord>& described = failures_.described();
  if (v.status != kExitOk && !described.empty() && described.front().packet <= kHintPackets) {
    if (std::optional<StreamShape> seen = GuessStreamShape(firstBytes_.data(), firstBytes_.size()))
      v.hint = MismatchHint(model_.shape(), *seen);
  }
  return v;
}

int Verifier::Run(Connector& connector, const std::string& listProblem) {
  runStartNs_ = io_.clock->NowNs();
  nextReportNs_ = runStartNs_ + kReportPeriodNs;
  std::string error, incomplete;
  for (int attempt = 0; attempt <= options_.reconnects; ++attempt) {
    std::string reason;
    std::unique_ptr<ByteStream> stream = connector.Connect(reason);
    if (!stream) {
      if (attempt == 0) {
        error = reason;
      } else {
        incomplete = "reconnect " + std::to_string(attempt) + " failed (" + reason + ") after " +
                     std::to_string(connections_) + " of " +
                     std::to_string(options_.reconnects + 1) + " connections (--reconnect " +
                     std::to_string(options_.reconnects) + ")";
      }
      break;
    }
    if (attempt == 0) {
      if (io_.connected) io_.connected();
      if (!listProblem.empty()) {
        failures_.Record(FailureKind::kTag, 0, 0, [&] { return "parameter list: " + listProblem; });
      }
    }
    ++connections_;
    if (io_.metrics != nullptr) io_.metrics->Connected();
    moreConnections_ = attempt < options_.reconnects;
    ConnectionEnd end = RunConnection(*stream);
    EndConnection(end);
    if (end == ConnectionEnd::kStopped) {
      const std::string unmet = Unmet();
      if (!unmet.empty()) {
        incomplete = "stopped by " + (io_.stopCause ? io_.stopCause() : std::string("request")) +
                     " after " + unmet;
      }
    } else if (end == ConnectionEnd::kStreamEnded && !expected_) {
      // With a fault script the tool's ends are the script's to judge.
      std::string unmet = Unmet();
      if (!unmet.empty() && incomplete.empty() &&
          (options_.seconds > 0.0 || options_.packets > 0)) {
        incomplete =
            "the tool ended connection " + std::to_string(connections_) + " after " + unmet;
      }
    }
    if (end == ConnectionEnd::kStopped || end == ConnectionEnd::kFramingLost) break;
  }
  outcome_.elapsedSeconds = static_cast<double>(io_.clock->NowNs() - runStartNs_) / 1e9;
  outcome_.incomplete = incomplete;

  std::string broken;
  if (!error.empty()) {
    // Nothing was printed yet: the reason alone, not an empty summary.
    outcome_.verdict = Decide(error, incomplete, broken);
    Emit(VerdictText(outcome_.verdict), VerdictJson(outcome_.verdict, options_.runId), true);
    return outcome_.verdict.status;
  }
  const TimingFigures run = stats_.Total();
  ReportFigures summary = MakeFigures(run);
  summary.thresholds = CheckThresholds(options_, run, model_.shape().packetRate);
  if (expected_) summary.matchedFaults = &expected_->matched();
  outcome_.thresholds = summary.thresholds;
  outcome_.summaryText = SummaryText(summary, failures_);
  Emit(outcome_.summaryText, FiguresJson("summary", summary, failures_, options_.runId), true);
  for (const ThresholdResult& r : summary.thresholds) {
    if (r.met) continue;
    if (!broken.empty()) broken += "; ";
    broken += BrokenThresholdText(r);
  }
  outcome_.verdict = Decide(error, incomplete, broken);
  Emit(VerdictText(outcome_.verdict), VerdictJson(outcome_.verdict, options_.runId), true);
  return outcome_.verdict.status;
}

}  // namespace yebverify
