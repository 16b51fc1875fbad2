// The command line of yebverify.
//
//   yebverify [--host H] [--port P] [--source custom|nep] [--list PATH]
//             [--seconds N | --packets N] [--packet-rate 50|100|200]
//             [--super-stress] [--tag-offset T] [--time-jump] [--time-gap]
//             [--reconnect N] [--connect-wait S] [--expect-faults FILE]
//             [--json] [--quiet] [--max-late-ms X] [--min-rate-percent P]
//             [--manifest PATH] [--json-out FILE] [--junit FILE] [--version]
//             [--signals FILE] [--values-out FILE --params SELECTOR]
//   yebverify --source playback --file F [--playback-speed X]
//             [--playback-start S] [--playback-loop N] [--playback-max-gap MS]
//             [--metrics-port P [--metrics-bind ADDR]]
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ParameterList.h"
#include "platform/Status.h"

namespace yebverify {

struct VerifyOptions {
  std::string host = "127.0.0.1";
  int port = 49000;
  SourceKind source = SourceKind::kCustom;
  std::string listPath;  // empty: ./YEBFiles/zarnYEB.prn or ./YEBFiles/NEP.xml
  double seconds = 0.0;  // per connection; 0 = until the stream ends
  uint64_t packets = 0;  // per connection; 0 = until the stream ends
  int packetRate = 50;
  bool superStress = false;
  std::optional<int64_t> tagOffset;
  bool timeJump = false;
  bool timeGap = false;
  bool joinLate = false;            // from the manifest: the tool serves several connections
  int reconnects = 0;               // further connections after the first one ends
  double connectWaitSeconds = 5.0;  // keep trying to connect this long
  std::string expectFaultsPath;     // the tool's fault script; empty: faults fail
  bool json = false;
  bool quiet = false;
  // Thresholds for CI: the run fails when the lateness p99 is above
  // maxLateMs, or the packet rate over the run below minRatePercent % of
  // the nominal rate.
  std::optional<double> maxLateMs;
  std::optional<double> minRatePercent;
  std::string manifestPath;   // the tool's run.json: the settings not given here
  std::string jsonOutPath;    // the JSON lines also go here
  std::string junitPath;      // a JUnit XML report is written here at the end
  std::string runId;          // from the manifest: ties every JSON line to the run
  std::string signalsPath;    // the tool's /Signals file: its samples are checked against it
  std::string valuesOutPath;  // the samples of `params` are written here as CSV
  std::string params;         // a selector: *, NAME, rate=R, #A-B
  // --source playback: the replay of --file, as the tool was told to play
  // it (see PlaybackVerifier.h).
  bool playback = false;
  std::string playbackFile;
  double playbackSpeed = 1.0;
  double playbackStartSeconds = 0.0;
  int64_t playbackLoops = 1;  // 0 for ever
  int64_t playbackMaxGapMs = 60'000;
  int metricsPort = 0;  // serve Prometheus metrics on this port; 0 for none
  std::string metricsBind = "127.0.0.1";
  bool help = false;
  bool version = false;
  // The options given on the command line, as written ("--port"), so that
  // a manifest fills in only the others.
  std::vector<std::string> given;
  bool Given(const char* option) const;
};

// Fails with a one-line reason on a usage error. `options.json` is set as
// soon as --json is seen, even when a later word is wrong, so that the
// usage error can still be written as a JSON verdict.
platform::Status ParseOptions(const std::vector<std::string>& args, VerifyOptions& options);

// The list file to read: --list, or the stress tool's default place.
std::string ListPathFor(const VerifyOptions& options);

const char* UsageText();
// --help: the usage, every option, what the figures measure, the exit status.
std::string HelpText();

}  // namespace yebverify
