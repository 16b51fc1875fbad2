#include "PlaybackVerifier.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "PlaybackPlan.h"
#include "platform/Clock.h"

namespace yebverify {
namespace {

constexpr uint8_t kGreeting[5] = {1, 0, 0, 0, 0};
constexpr int kReceiveSliceMs = 200;
// How far past the expected record a connection's first record is looked
// for, when the verifier's own close lost records in the socket.
constexpr int64_t kInFlightSearch = 100'000;
constexpr size_t kShownFailures = 10;

// Lateness in steps of 10 us up to 10 s, so that a run of a day keeps a
// fixed amount of memory; the maximum is kept exactly.
class LatenessHistogram {
 public:
  void Add(int64_t lateNs) {
    const int64_t bucket = std::min<int64_t>(lateNs / kStepNs, kBuckets - 1);
    ++counts_[static_cast<size_t>(std::max<int64_t>(bucket, 0))];
    ++total_;
    maxNs_ = std::max(maxNs_, lateNs);
  }
  double PercentileMs(double q) const {
    if (total_ == 0) return 0.0;
    const int64_t rank = static_cast<int64_t>(std::ceil(q * static_cast<double>(total_)));
    int64_t seen = 0;
    for (size_t i = 0; i < counts_.size(); ++i) {
      seen += counts_[i];
      if (seen >= rank) return static_cast<double>(i) * kStepNs / 1e6;
    }
    return MaxMs();
  }
  double MaxMs() const { return static_cast<double>(maxNs_) / 1e6; }

 private:
  static constexpr int64_t kStepNs = 10'000;
  static constexpr int64_t kBuckets = 1'000'000;
  std::vector<int64_t> counts_ = std::vector<int64_t>(kBuckets);
  int64_t total_ = 0;
  int64_t maxNs_ = 0;
};

enum class End { kToolClosed, kLimit, kStopped, kBroken };

class PlaybackRun {
 public:
  PlaybackRun(const VerifyOptions& options, const std::function<bool()>& stopRequested,
              const std::function<void(const std::string&)>& out)
      : options_(options), stopRequested_(stopRequested), out_(out) {}

  PlaybackOutcome Run(Connector& connector) {
    PlaybackOutcome outcome;
    const PlaybackSettings settings{options_.playbackFile, options_.playbackSpeed,
                                    options_.playbackStartSeconds, options_.playbackLoops,
                                    options_.playbackMaxGapMs};
    if (platform::Status opened = plan_.Open(settings); !opened.ok()) {
      outcome.exitStatus = kExitError;
      outcome.summary = "yebverify: error: " + opened.message() + "\n";
      return outcome;
    }
    End end = End::kToolClosed;
    int connections = 0;
    for (; connections <= options_.reconnects; ++connections) {
      std::string reason;
      std::unique_ptr<ByteStream> stream = connector.Connect(reason);
      if (!stream) {
        if (connections == 0) {
          outcome.exitStatus = kExitError;
          outcome.summary = "yebverify: error: " + reason + "\n";
          return outcome;
        }
        incomplete_ = "connection " + std::to_string(connections + 1) + " could not be made";
        break;
      }
      if (connections == 0 && !options_.quiet) {
        out_("yebverify: playback of " + options_.playbackFile + " from " + options_.host + ":" +
             std::to_string(options_.port) + "\n");
      }
      end = RunConnection(*stream, end == End::kLimit);
      if (end == End::kStopped || end == End::kBroken) break;
    }
    if (incomplete_.empty() && end == End::kStopped) incomplete_ = "stopped by a key or a signal";
    if (incomplete_.empty() && end == End::kToolClosed && !planEnded_ && plan_.Advance()) {
      incomplete_ = "the stream ended at record " + std::to_string(plan_.index() + 1) +
                    " of pass " + std::to_string(plan_.pass()) + ", before the end of the replay";
    }
    outcome.summary = Summary(std::min(connections + 1, options_.reconnects + 1));
    const bool late = options_.maxLateMs && lateness_.PercentileMs(0.99) > *options_.maxLateMs;
    if (failures_ > 0 || late) {
      outcome.exitStatus = kExitFailed;
      outcome.summary += failures_ > 0 ? "FAIL: " + std::to_string(failures_) + " failures\n"
                                       : "FAIL: lateness p99 above --max-late-ms\n";
    } else if (!incomplete_.empty()) {
      outcome.exitStatus = kExitFailed;
      outcome.summary += "INCOMPLETE: " + incomplete_ + "\n";
    } else {
      outcome.summary += "PASS\n";
    }
    return outcome;
  }

 private:
  void Fail(const std::string& what) {
    if (failures_++ < kShownFailures) out_("FAIL: " + what + "\n");
  }

  // Fills `into` with `length` bytes; false at a close, an error or a stop.
  bool Receive(ByteStream& stream, uint8_t* into, size_t length, End& end, bool& none) {
    size_t got = 0;
    none = true;
    while (got < length) {
      if (stopRequested_ && stopRequested_()) {
        end = End::kStopped;
        return false;
      }
      const platform::ReceiveResult r = stream.Receive(into + got, length - got, kReceiveSliceMs);
      if (r.status == platform::ReceiveStatus::kData) {
        got += r.bytes;
        none = false;
      } else if (r.status != platform::ReceiveStatus::kTimeout) {
        end = End::kToolClosed;
        return false;
      }
    }
    return true;
  }

  bool LimitReached(int64_t records, int64_t startNs) const {
    if (options_.packets > 0 && static_cast<uint64_t>(records) >= options_.packets) return true;
    return options_.seconds > 0 &&
           static_cast<double>(clock_.NowNs() - startNs) / 1e9 >= options_.seconds;
  }

  End RunConnection(ByteStream& stream, bool weClosedLast) {
    End end = End::kToolClosed;
    bool none = true;
    uint8_t greeting[5];
    if (!Receive(stream, greeting, 5, end, none)) {
      if (end == End::kToolClosed) Fail("the connection closed before the greeting");
      return end;
    }
    if (std::memcmp(greeting, kGreeting, 5) != 0) Fail("the greeting is not 01 00 00 00 00");
    // The tool's time reference: read, never sent.
    if (!plan_.Advance()) planEnded_ = true;
    ++references_;
    const int64_t startNs = clock_.NowNs();
    int64_t anchorNs = 0, waitsMs = 0, lastArrivalNs = 0, lastDueNs = 0, records = 0;
    std::vector<uint8_t> record;
    for (;;) {
      if (LimitReached(records, startNs)) {
        end = End::kLimit;
        break;
      }
      uint8_t sizeWord[4];
      if (!Receive(stream, sizeWord, 4, end, none)) {
        if (end == End::kToolClosed && !none) Fail("the stream ended inside a size word");
        break;
      }
      const int64_t size = int64_t{sizeWord[0]} | int64_t{sizeWord[1]} << 8 |
                           int64_t{sizeWord[2]} << 16 | int64_t{sizeWord[3]} << 24;
      if (size + 4 < io::kRecordHeaderBytes || size + 4 > io::kMaxRecordBytes) {
        Fail("a size word of " + std::to_string(size) + " after record " +
             std::to_string(checked_) + ": the stream cannot be followed on");
        end = End::kBroken;
        break;
      }
      record.resize(static_cast<size_t>(size + 4));
      std::memcpy(record.data(), sizeWord, 4);
      if (!Receive(stream, record.data() + 4, record.size() - 4, end, none)) {
        if (end == End::kToolClosed) Fail("the stream ended inside a record");
        break;
      }
      const int64_t arrivalNs = clock_.NowNs();
      if (!Match(record, records == 0 && weClosedLast)) {
        end = End::kBroken;
        break;
      }
      ++checked_;
      if (records == 0) {
        anchorNs = arrivalNs;
      } else {
        waitsMs += plan_.waitMs();
      }
      const int64_t dueNs =
          anchorNs + std::llround(static_cast<double>(waitsMs) * 1e6 / options_.playbackSpeed);
      lateness_.Add(std::max<int64_t>(0, arrivalNs - dueNs));
      lastArrivalNs = arrivalNs;
      lastDueNs = dueNs;
      ++records;
    }
    actualSpanNs_ += lastArrivalNs - anchorNs;
    dueSpanNs_ += lastDueNs - anchorNs;
    return end;
  }

  // Moves the plan to the record received; false when the plan has none.
  bool Match(const std::vector<uint8_t>& record, bool mayHaveLostSome) {
    if (!plan_.Advance()) {
      planEnded_ = true;
      Fail("a record arrived after the end of the replay" +
           (plan_.problem().empty() ? std::string() : " (" + plan_.problem() + ")"));
      return false;
    }
    if (plan_.bytes() == record) return true;
    if (mayHaveLostSome) {
      for (int64_t skipped = 1; skipped <= kInFlightSearch && plan_.Advance(); ++skipped) {
        if (plan_.bytes() == record) {
          lostInFlight_ += skipped;
          return true;
        }
      }
      Fail("the first record after a reconnect is not in the file");
      return false;
    }
    const auto [ours, theirs] =
        std::mismatch(plan_.bytes().begin(), plan_.bytes().end(), record.begin(), record.end());
    Fail("record " + std::to_string(plan_.index() + 1) + " of pass " +
         std::to_string(plan_.pass()) + " differs from the file at byte " +
         std::to_string(ours - plan_.bytes().begin()));
    return true;
  }

  std::string Summary(int connections) const {
    char pacing[256];
    const double drift = dueSpanNs_ > 0 ? 100.0 * static_cast<double>(actualSpanNs_ - dueSpanNs_) /
                                              static_cast<double>(dueSpanNs_)
                                        : 0.0;
    std::snprintf(pacing, sizeof pacing,
                  "yebverify: pacing at speed %g: lateness p50 %.3f ms, p99 %.3f ms, max %.3f ms; "
                  "drift %+.4f %% over %.3f s\n",
                  options_.playbackSpeed, lateness_.PercentileMs(0.5), lateness_.PercentileMs(0.99),
                  lateness_.MaxMs(), drift, static_cast<double>(dueSpanNs_) / 1e9);
    return "yebverify: " + std::to_string(checked_) + " records checked over " +
           std::to_string(connections) + (connections == 1 ? " connection" : " connections") +
           ", up to pass " + std::to_string(plan_.pass()) + "; " + std::to_string(references_) +
           " taken as references, " + std::to_string(lostInFlight_) +
           " lost in the socket at a close by yebverify\n" + pacing;
  }

  const VerifyOptions& options_;
  const std::function<bool()>& stopRequested_;
  const std::function<void(const std::string&)>& out_;
  platform::Clock& clock_ = platform::SystemClock();
  PlaybackPlan plan_;
  bool planEnded_ = false;
  LatenessHistogram lateness_;
  int64_t checked_ = 0;
  int64_t references_ = 0;
  int64_t lostInFlight_ = 0;
  int64_t actualSpanNs_ = 0;
  int64_t dueSpanNs_ = 0;
  size_t failures_ = 0;
  std::string incomplete_;
};

bool ReadNumber(const std::string& text, double low, double high, double& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value) &&
         value >= low && value <= high;
}

}  // namespace

platform::Status ParsePlaybackOption(const std::vector<std::string>& args, size_t& i,
                                     VerifyOptions& options, bool& matched) {
  struct Numeric {
    const char* name;
    double low, high;
    bool whole;
  };
  static constexpr Numeric kNumbers[] = {
      {"--playback-speed", 1e-9, 1000, false},
      {"--playback-start", 0, 429'496, false},
      {"--playback-loop", 0, 1e9, true},
      {"--playback-max-gap", 1, 3'600'000, true},
  };
  const std::string& arg = args[i];
  matched = arg == "--file";
  const Numeric* numeric = nullptr;
  for (const Numeric& n : kNumbers) {
    if (arg == n.name) numeric = &n;
  }
  matched = matched || numeric != nullptr;
  if (!matched) return platform::Status::Ok();
  if (i + 1 >= args.size()) return platform::Status::InvalidArgument(arg + " needs a value");
  const std::string& text = args[++i];
  if (numeric == nullptr) {
    options.playbackFile = text;
    return platform::Status::Ok();
  }
  double value = 0;
  if (!ReadNumber(text, numeric->low, numeric->high, value) ||
      (numeric->whole && value != std::floor(value)) ||
      (!numeric->whole && value <= 0 && numeric->low > 0)) {
    return platform::Status::InvalidArgument(
        arg + " takes a number from " + std::to_string(static_cast<int64_t>(numeric->low)) +
        " to " + std::to_string(static_cast<int64_t>(numeric->high)) +
        (numeric->whole ? " (whole)" : "") + ", not \"" + text + "\"");
  }
  if (arg == "--playback-speed") options.playbackSpeed = value;
  if (arg == "--playback-start") options.playbackStartSeconds = value;
  if (arg == "--playback-loop") options.playbackLoops = static_cast<int64_t>(value);
  if (arg == "--playback-max-gap") options.playbackMaxGapMs = static_cast<int64_t>(value);
  return platform::Status::Ok();
}

PlaybackOutcome VerifyPlayback(const VerifyOptions& options, Connector& connector,
                               const std::function<bool()>& stopRequested,
                               const std::function<void(const std::string&)>& out) {
  PlaybackRun run(options, stopRequested, out);
  return run.Run(connector);
}

}  // namespace yebverify
