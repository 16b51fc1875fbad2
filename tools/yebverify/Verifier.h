// The run: connect to the stress tool, frame the stream into packets, hand
// each to the checker, report once a second and at the end, and decide the
// exit status.
//
// Framing: for the Custom source the five greeting bytes come first; then
// every packet is a 32-bit little-endian count of the bytes that follow and
// those bytes. A size word that cannot be a packet of this stream (below
// the fixed header and time words, or far above the largest packet the list
// allows) means framing is lost: it is reported and the run ends, since
// nothing after it can be trusted.
//
// A connection ends when its limit (--packets, --seconds) is reached, when
// the tool closes it, or when the operator stops the run (a key press,
// SIGINT, SIGTERM). With --reconnect N the verifier connects N more times
// after a connection ends, so that what carries across transfers is
// checked too.
//
// Duplicates are told here, where the bytes are: a packet equal to the one
// before it byte for byte. With a fault script (ExpectFaults) the faults
// the checker observes are matched against the script's; a fault it did
// not expect, or one it expected and did not see, is a failure.
//
// A run cut short never passes: one that a key, a signal or a lost
// connection ended before its --seconds, --packets or --reconnect were met
// ends with the verdict "INCOMPLETE: ..." naming what was missing, since a
// CI job that stopped its verifier early has not checked what it asked for.
// A connection the tool ended where the fault script said it would is not
// cut short.
//
// Nothing is printed before the first connection is made: a verifier that
// cannot connect says so and nothing else.
//
// Exit status: 0 when every check passed and every threshold was met, 1
// when a check failed, a threshold (--max-late-ms, --min-rate-percent) was
// broken or the run was cut short, 2 on usage or connection errors (or
// when no packet arrived at all). A broken threshold is named, with the
// measured value, in the verdict line. When the first packets fail in a
// way another source or packet rate explains, the verdict says which.
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ArrivalStats.h"
#include "ExpectedFaults.h"
#include "Failures.h"
#include "Options.h"
#include "Report.h"
#include "StreamChecker.h"
#include "StreamModel.h"
#include "metrics/VerifyMetrics.h"
#include "platform/Clock.h"
#include "platform/Socket.h"

namespace yebverify {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitError = 2;

// One connected stream.
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  virtual platform::ReceiveResult Receive(void* buffer, size_t capacity, int timeoutMs) = 0;
  // The reader needs `bytes` more before it can go on: a stream may put off
  // waking it until so many have come.
  virtual void Expect(size_t bytes) { (void)bytes; }
};

// Makes connections; nullptr with `reason` set when none can be had.
class Connector {
 public:
  virtual ~Connector() = default;
  virtual std::unique_ptr<ByteStream> Connect(std::string& reason) = 0;
};

// Connects over TCP, retrying for up to `waitSeconds` while the tool is not
// listening yet.
class TcpConnector final : public Connector {
 public:
  TcpConnector(std::string host, int port, double waitSeconds, std::function<bool()> stopRequested)
      : host_(std::move(host)),
        port_(port),
        waitSeconds_(waitSeconds),
        stopRequested_(std::move(stopRequested)) {}
  std::unique_ptr<ByteStream> Connect(std::string& reason) override;

 private:
  std::string host_;
  int port_;
  double waitSeconds_;
  std::function<bool()> stopRequested_;
};

struct VerifierIo {
  std::function<void(const std::string&)> out;  // progress, failures, summary
  // The JSON lines for --json-out, whatever the console shows (null: none).
  std::function<void(const std::string&)> jsonOut;
  std::function<bool()> stopRequested;  // a key press or a signal
  // What stopped the run, for the verdict: "a key", "a signal".
  std::function<std::string()> stopCause;
  // Called once, when the first connection is made (the program's banner).
  std::function<void()> connected;
  platform::Clock* clock = nullptr;
  metrics::VerifyMetrics* metrics = nullptr;  // the Prometheus endpoint's (null: none)
};

// How the run ended, for reports written after it (JUnit).
struct RunOutcome {
  Verdict verdict;
  std::string incomplete;  // what was missing; empty: nothing
  std::vector<ThresholdResult> thresholds;
  double elapsedSeconds = 0.0;
  std::string summaryText;  // the human summary
};

class Verifier {
 public:
  Verifier(const VerifyOptions& options, const StreamModel& model, VerifierIo io);
  Verifier(const Verifier&) = delete;
  Verifier& operator=(const Verifier&) = delete;

  // Runs every connection and returns the exit status. `listProblem`, when
  // not empty, is a failure found in the list before the stream started.
  int Run(Connector& connector, const std::string& listProblem = {});

  // Expect exactly the faults of `script` (which must outlive the run).
  // Signals to check and samples to write (SignalCheck.h); not owned.
  void CheckSignals(const SignalCheck* check) { checker_.SetSignals(check); }
  void ExpectFaults(const io::FaultScript& script);

  const FailureLog& failures() const { return failures_; }
  const RunOutcome& outcome() const { return outcome_; }
  // Null without ExpectFaults.
  const ExpectedFaults* expected() const { return expected_.get(); }
  const StreamChecker& checker() const { return checker_; }

 private:
  enum class ConnectionEnd { kLimit, kStreamEnded, kStopped, kFramingLost };
  ConnectionEnd RunConnection(ByteStream& stream);
  // Names a close by the tool at a packet boundary, and the expected faults
  // the connection did not bring.
  void EndConnection(ConnectionEnd end);
  bool RepeatsPrevious(size_t packetBytes) const;
  // Makes room for a packet of `bytes`; false (with a failure) when memory runs out.
  bool GrowBuffer(size_t bytes);
  // Makes at least `bytes` bytes available; false with `end` set otherwise.
  bool Need(ByteStream& stream, size_t bytes, ConnectionEnd& end);
  bool LimitReached() const;
  void MaybeReport();
  ReportFigures MakeFigures(const TimingFigures& timing) const;
  // One report line: `human` on a console without --json, the JSON line
  // on one with it and in the --json-out file. Quiet consoles hear only
  // lines marked `always`.
  void Emit(const std::string& human, const Json& json, bool always = false);
  // What a connection that ended now left undone; empty when its limits
  // were met (or it had none).
  std::string Unmet() const;
  Verdict Decide(const std::string& error, const std::string& incomplete,
                 const std::string& broken) const;

  VerifyOptions options_;
  const StreamModel& model_;
  VerifierIo io_;
  FailureLog failures_;
  StreamChecker checker_;
  ArrivalStats stats_;

  std::vector<uint8_t> buffer_;
  size_t begin_ = 0, end_ = 0;
  uint64_t streamOffset_ = 0;  // stream position of buffer_[begin_]
  struct Chunk {
    uint64_t endOffset;  // stream position just after the chunk
    int64_t arrivalNs;
  };
  std::vector<Chunk> chunks_;
  size_t firstChunk_ = 0;

  std::unique_ptr<ExpectedFaults> expected_;
  RunOutcome outcome_;
  // The first bytes of the first connection, kept for the mismatch hint.
  std::vector<uint8_t> firstBytes_;
  bool moreConnections_ = false;
  // The packet before the current one: in buffer_ just before begin_, or
  // copied to previous_ when the buffer was compacted (0 bytes when the
  // next packet was then seen to differ from it).
  size_t previousBytes_ = 0;
  bool previousInBuffer_ = false;
  std::vector<uint8_t> previous_;

  int64_t runStartNs_ = 0;
  int64_t connectionStartNs_ = 0;
  int64_t nextReportNs_ = 0;
  uint64_t connectionPackets_ = 0;
  uint64_t connections_ = 0;
  uint64_t maxPacketBytes_ = 0;
  uint64_t minPacketBytes_ = 0;
};

}  // namespace yebverify
