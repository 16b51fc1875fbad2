// yebverify: stands in for the YEB against the stress tool. It connects,
// decodes the stream with the parameter list the tool wrote, checks every
// packet and reports what it found. See Verifier.h for the run and the exit
// status, Options.h for the command line, Manifest.h for --manifest.
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "JUnitReport.h"
#include "Manifest.h"
#include "Options.h"
#include "ParameterList.h"
#include "PlaybackVerifier.h"
#include "Report.h"
#include "SignalCheck.h"
#include "StreamModel.h"
#include "Verifier.h"
#include "io/FaultScript.h"
#include "metrics/Endpoint.h"
#include "metrics/VerifyMetrics.h"
#include "platform/BuildInfo.h"
#include "platform/Console.h"
#include "platform/File.h"
#include "platform/Termination.h"

namespace {

using namespace yebverify;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using JsonOutFile = std::unique_ptr<std::FILE, FileCloser>;

void WriteJsonLine(std::FILE* file, const std::string& line) {
  std::fputs(line.c_str(), file);
  std::fflush(file);
}

// Every error before the run ends here: the reason on the console, and
// wherever a script reads the run (the JSON verdict on standard output
// with --json, the --json-out file, the JUnit report), so that a CI job
// never reads an empty result as no news.
int SetupError(const VerifyOptions& options, std::FILE* jsonOut, const std::string& reason,
               bool usage) {
  const std::string text = usage ? "yebverify: " + reason : "yebverify: error: " + reason;
  std::fprintf(stderr, "%s\n%s", text.c_str(), usage ? UsageText() : "");
  const Verdict verdict{kExitError, "error", text, {}};
  const std::string line = JsonText(VerdictJson(verdict, options.runId));
  if (options.json) WriteJsonLine(stdout, line);
  if (jsonOut != nullptr) WriteJsonLine(jsonOut, line);
  if (!options.junitPath.empty()) {
    const platform::Status written =
        WriteJUnitFile(options.junitPath,
                       JUnitXml(SetupErrorCases(text), 0.0, WallClockText(), options.runId, {}));
    if (!written.ok()) std::fprintf(stderr, "yebverify: error: %s\n", written.message().c_str());
  }
  return kExitError;
}

// Why a step of the set-up failed; `usage` when the command line is to blame.
struct SetupFailure {
  std::string reason;
  bool usage = false;
};
using StepResult = std::optional<SetupFailure>;

StepResult OpenJsonOut(const VerifyOptions& options, JsonOutFile& jsonOut) {
  if (options.jsonOutPath.empty()) return std::nullopt;
  errno = 0;
  jsonOut.reset(platform::OpenStreamForWriting(options.jsonOutPath));
  if (jsonOut) return std::nullopt;
  return SetupFailure{platform::CRuntimeError(options.jsonOutPath, errno)
                          .WithContext("cannot write the JSON lines")
                          .message()};
}

StepResult ReadManifest(VerifyOptions& options) {
  if (options.manifestPath.empty()) return std::nullopt;
  RunManifest manifest;
  // A list given on the command line is the one to check, fresh or not.
  const platform::Status loaded =
      LoadManifest(options.manifestPath, manifest, !options.Given("--list"));
  if (!loaded.ok()) return SetupFailure{loaded.message()};
  for (const std::string& warning : ApplyManifest(manifest, options)) {
    std::fprintf(stderr, "yebverify: warning: %s\n", warning.c_str());
  }
  options.runId = manifest.runId;
  return std::nullopt;
}

// Served before anything is read or connected, so that a port that cannot
// be had is an error at start, like every other setup error.
StepResult StartMetrics(const VerifyOptions& options, std::unique_ptr<metrics::Endpoint>& endpoint,
                        std::unique_ptr<metrics::VerifyMetrics>& served) {
  if (options.metricsPort == 0) return std::nullopt;
  uint32_t ip = 0;
  if (!platform::ParseIpv4(options.metricsBind, ip)) {
    return SetupFailure{"--metrics-bind " + options.metricsBind + ": not an IPv4 address", true};
  }
  const platform::Status started = metrics::Endpoint::Start(
      {options.metricsBind, ip, static_cast<uint16_t>(options.metricsPort)}, endpoint);
  if (!started.ok()) return SetupFailure{started.message()};
  served = std::make_unique<metrics::VerifyMetrics>(*endpoint, options.packetRate);
  return std::nullopt;
}

bool StopRequested() {
  return platform::TerminationRequested() || platform::ConsoleKeys().KeyPending();
}

int CheckPlayback(const VerifyOptions& options) {
  platform::ConsoleKeyMode keys;
  TcpConnector connector(options.host, options.port, options.connectWaitSeconds, StopRequested);
  const PlaybackOutcome outcome =
      VerifyPlayback(options, connector, StopRequested,
                     [](const std::string& text) { std::fputs(text.c_str(), stdout); });
  std::fputs(outcome.summary.c_str(), stdout);
  return outcome.exitStatus;
}

// The list, its model and the fault script a stream is checked against.
struct StreamSetup {
  ParameterList list;
  std::string listProblem;
  std::unique_ptr<StreamModel> model;
  io::FaultScript faults;
};

StepResult LoadStreamSetup(const VerifyOptions& options, StreamSetup& setup) {
  const platform::Status loaded =
      LoadParameterList(ListPathFor(options), options.source, setup.list);
  if (!loaded.ok()) return SetupFailure{loaded.message()};
  if (options.tagOffset) ListTagsFollowOffset(setup.list, *options.tagOffset, setup.listProblem);
  setup.model = std::make_unique<StreamModel>(
      setup.list, StreamShape{options.source, options.packetRate, options.superStress});
  if (setup.model->packetSizeLimit() > kLargestPacketBytes) {
    return SetupFailure{ListPathFor(options) + " gives packets of " +
                        std::to_string(setup.model->packetSizeLimit()) +
                        " bytes; the stress tool sends at most " +
                        std::to_string(kLargestPacketBytes)};
  }
  if (!options.expectFaultsPath.empty()) {
    const platform::Status faults = io::LoadFaultScript(options.expectFaultsPath, &setup.faults);
    if (!faults.ok()) {
      return SetupFailure{faults.WithContext("fault script " + options.expectFaultsPath).message()};
    }
  }
  return std::nullopt;
}

// What --signals and --values-out need beside the stream.
struct SignalSetup {
  packet::SignalsFile file;
  std::unique_ptr<packet::SignalPlan> plan;
  std::unique_ptr<ValuesOut> valuesOut;
  SignalCheck check;
};

StepResult LoadSignalSetup(const VerifyOptions& options, const ParameterList& list,
                           SignalSetup& setup) {
  if (options.signalsPath.empty() && options.valuesOutPath.empty()) return std::nullopt;
  std::vector<std::string> names;
  std::vector<double> rates;
  for (const ListedParameter& p : list.parameters) {
    names.push_back(p.name);
    rates.push_back(p.rate);
  }
  if (!options.signalsPath.empty()) {
    const platform::Status loaded = packet::LoadSignals(options.signalsPath, &setup.file);
    if (!loaded.ok()) {
      return SetupFailure{loaded.WithContext("signals file " + options.signalsPath).message()};
    }
    setup.plan = std::make_unique<packet::SignalPlan>(setup.file, names, rates);
    setup.check.plan = setup.plan.get();
  }
  if (!options.valuesOutPath.empty()) {
    packet::SignalSelector selector;
    const platform::Status parsed = packet::ParseSignalSelector(options.params, &selector);
    if (!parsed.ok()) return SetupFailure{"--params " + parsed.message(), true};
    const platform::Status opened = ValuesOut::Open(options.valuesOutPath, setup.valuesOut);
    if (!opened.ok()) return SetupFailure{opened.message()};
    setup.check.valuesOut = setup.valuesOut.get();
    for (size_t i = 0; i < names.size(); ++i) {
      setup.check.logged.push_back(
          packet::SelectorMatches(selector, names[i], rates[i], static_cast<int64_t>(i) + 1));
    }
  }
  setup.check.runId = options.runId;
  return std::nullopt;
}

VerifierIo MakeVerifierIo(const VerifyOptions& options, const ParameterList& list,
                          std::FILE* jsonOut, metrics::VerifyMetrics* served) {
  VerifierIo io;
  io.out = [](const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  };
  if (jsonOut != nullptr)
    io.jsonOut = [jsonOut](const std::string& line) { WriteJsonLine(jsonOut, line); };
  io.stopRequested = StopRequested;
  io.metrics = served;
  io.stopCause = [] {
    return std::string(platform::TerminationRequested() ? "a signal" : "a key");
  };
  io.connected = [&options, &list] {
    if (options.quiet || options.json) return;
    std::printf("yebverify: %s stream from %s:%d, %zu parameters from %s, %d packets/s%s%s\n",
                options.source == SourceKind::kCustom ? "Custom" : "NEP", options.host.c_str(),
                options.port, list.parameters.size(), ListPathFor(options).c_str(),
                options.packetRate, options.superStress ? ", super stress" : "",
                options.runId.empty() ? "" : (", run " + options.runId).c_str());
    std::fflush(stdout);
  };
  return io;
}

// The run's status, or an error when --junit was asked for and cannot be
// written.
int WriteJUnit(const VerifyOptions& options, const Verifier& verifier, const std::string& started,
               int status) {
  if (options.junitPath.empty()) return status;
  const RunOutcome& outcome = verifier.outcome();
  const platform::Status written =
      WriteJUnitFile(options.junitPath,
                     JUnitXml(RunCases(outcome, verifier.failures(), verifier.expected()),
                              outcome.elapsedSeconds, started, options.runId, outcome.summaryText));
  if (written.ok()) return status;
  std::fprintf(stderr, "yebverify: error: %s\n", written.message().c_str());
  return kExitError;
}

}  // namespace

int main(int argc, char** argv) {
  platform::InstallTerminationHandlers();
  std::vector<std::string> args(argv + 1, argv + argc);
  VerifyOptions options;
  const platform::Status parsed = ParseOptions(args, options);
  if (!parsed.ok()) return SetupError(options, nullptr, parsed.message(), true);
  if (options.help) {
    std::fputs(HelpText().c_str(), stdout);
    return kExitOk;
  }
  if (options.version) {
    std::fputs(platform::VersionLine("yebverify").c_str(), stdout);
    return kExitOk;
  }
  JsonOutFile jsonOut;
  auto failed = [&](const SetupFailure& failure) {
    return SetupError(options, jsonOut.get(), failure.reason, failure.usage);
  };
  if (StepResult f = OpenJsonOut(options, jsonOut)) return failed(*f);
  if (StepResult f = ReadManifest(options)) return failed(*f);
  std::unique_ptr<metrics::Endpoint> endpoint;
  std::unique_ptr<metrics::VerifyMetrics> served;
  if (StepResult f = StartMetrics(options, endpoint, served)) return failed(*f);
  if (options.playback) return CheckPlayback(options);

  StreamSetup stream;
  if (StepResult f = LoadStreamSetup(options, stream)) return failed(*f);
  SignalSetup signals;
  if (StepResult f = LoadSignalSetup(options, stream.list, signals)) return failed(*f);

  platform::ConsoleKeyMode keyMode;
  Verifier verifier(options, *stream.model,
                    MakeVerifierIo(options, stream.list, jsonOut.get(), served.get()));
  if (!options.expectFaultsPath.empty()) verifier.ExpectFaults(stream.faults);
  if (signals.plan || signals.valuesOut) verifier.CheckSignals(&signals.check);
  TcpConnector connector(options.host, options.port, options.connectWaitSeconds, StopRequested);
  const std::string started = WallClockText();
  const int status = verifier.Run(connector, stream.listProblem);
  return WriteJUnit(options, verifier, started, status);
}
