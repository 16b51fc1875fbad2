// yebverify: stands in for the YEB against the stress tool. It connects,
// decodes the stream with the parameter list the tool wrote, checks every
// packet and reports what it found. See Verifier.h for the run and the exit
// status, Options.h for the command line, Manifest.h for --manifest.
#include <cerrno>
#include <cstdio>
#include <memory>
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

}  // namespace

int main(int argc, char** argv) {
  platform::InstallTerminationHandlers();
  std::vector<std::string> args(argv + 1, argv + argc);
  VerifyOptions options;
  std::string error;
  if (!ParseOptions(args, options, error)) return SetupError(options, nullptr, error, true);
  if (options.help) {
    std::fputs(HelpText().c_str(), stdout);
    return kExitOk;
  }
  if (options.version) {
    std::fputs(platform::VersionLine("yebverify").c_str(), stdout);
    return kExitOk;
  }
  JsonOutFile jsonOut;
  if (!options.jsonOutPath.empty()) {
    errno = 0;
    jsonOut.reset(platform::OpenStreamForWriting(options.jsonOutPath));
    if (!jsonOut) {
      return SetupError(options, nullptr,
                        platform::CRuntimeError(options.jsonOutPath, errno)
                            .WithContext("cannot write the JSON lines")
                            .message(),
                        false);
    }
  }
  if (!options.manifestPath.empty()) {
    RunManifest manifest;
    // A list given on the command line is the one to check, fresh or not.
    const platform::Status loaded =
        LoadManifest(options.manifestPath, manifest, !options.Given("--list"));
    if (!loaded.ok()) return SetupError(options, jsonOut.get(), loaded.message(), false);
    for (const std::string& warning : ApplyManifest(manifest, options)) {
      std::fprintf(stderr, "yebverify: warning: %s\n", warning.c_str());
    }
    options.runId = manifest.runId;
  }

  // Served before anything is read or connected, so that a port that cannot
  // be had is an error at start, like every other setup error.
  std::unique_ptr<metrics::Endpoint> endpoint;
  std::unique_ptr<metrics::VerifyMetrics> served;
  if (options.metricsPort != 0) {
    uint32_t ip = 0;
    if (!platform::ParseIpv4(options.metricsBind, ip)) {
      return SetupError(options, jsonOut.get(),
                        "--metrics-bind " + options.metricsBind + ": not an IPv4 address", true);
    }
    const platform::Status started = metrics::Endpoint::Start(
        {options.metricsBind, ip, static_cast<uint16_t>(options.metricsPort)}, endpoint);
    if (!started.ok()) return SetupError(options, jsonOut.get(), started.message(), false);
    served = std::make_unique<metrics::VerifyMetrics>(*endpoint, options.packetRate);
  }

  if (options.playback) {
    platform::ConsoleKeyMode keys;
    auto stop = [] {
      return platform::TerminationRequested() || platform::ConsoleKeys().KeyPending();
    };
    TcpConnector connector(options.host, options.port, options.connectWaitSeconds, stop);
    const PlaybackOutcome outcome =
        VerifyPlayback(options, connector, stop,
                       [](const std::string& text) { std::fputs(text.c_str(), stdout); });
    std::fputs(outcome.summary.c_str(), stdout);
    return outcome.exitStatus;
  }

  ParameterList list;
  if (!LoadParameterList(ListPathFor(options), options.source, list, error)) {
    return SetupError(options, jsonOut.get(), error, false);
  }
  std::string listProblem;
  if (options.tagOffset) ListTagsFollowOffset(list, *options.tagOffset, listProblem);

  StreamModel model(list, StreamShape{options.source, options.packetRate, options.superStress});
  if (model.packetSizeLimit() > kLargestPacketBytes) {
    return SetupError(
        options, jsonOut.get(),
        ListPathFor(options) + " gives packets of " + std::to_string(model.packetSizeLimit()) +
            " bytes; the stress tool sends at most " + std::to_string(kLargestPacketBytes),
        false);
  }
  io::FaultScript faults;
  if (!options.expectFaultsPath.empty() &&
      !io::LoadFaultScript(options.expectFaultsPath, &faults, &error)) {
    return SetupError(options, jsonOut.get(),
                      "fault script " + options.expectFaultsPath + ": " + error, false);
  }
  packet::SignalsFile signalsFile;
  std::unique_ptr<packet::SignalPlan> signalPlan;
  std::unique_ptr<ValuesOut> valuesOut;
  SignalCheck signalCheck;
  if (!options.signalsPath.empty() || !options.valuesOutPath.empty()) {
    std::vector<std::string> names;
    std::vector<double> rates;
    for (const ListedParameter& p : list.parameters) {
      names.push_back(p.name);
      rates.push_back(p.rate);
    }
    if (!options.signalsPath.empty()) {
      if (!packet::LoadSignals(options.signalsPath, &signalsFile, &error)) {
        return SetupError(options, jsonOut.get(),
                          "signals file " + options.signalsPath + ": " + error, false);
      }
      signalPlan = std::make_unique<packet::SignalPlan>(signalsFile, names, rates);
      signalCheck.plan = signalPlan.get();
    }
    if (!options.valuesOutPath.empty()) {
      packet::SignalSelector selector;
      if (!packet::ParseSignalSelector(options.params, &selector, &error)) {
        return SetupError(options, jsonOut.get(), "--params " + error, true);
      }
      valuesOut = ValuesOut::Open(options.valuesOutPath, error);
      if (!valuesOut) return SetupError(options, jsonOut.get(), error, false);
      signalCheck.valuesOut = valuesOut.get();
      for (size_t i = 0; i < names.size(); ++i) {
        signalCheck.logged.push_back(
            packet::SelectorMatches(selector, names[i], rates[i], static_cast<int64_t>(i) + 1));
      }
    }
    signalCheck.runId = options.runId;
  }
  platform::ConsoleKeyMode keyMode;
  auto stopRequested = [] {
    return platform::TerminationRequested() || platform::ConsoleKeys().KeyPending();
  };
  VerifierIo io;
  io.out = [](const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  };
  if (jsonOut)
    io.jsonOut = [&jsonOut](const std::string& line) { WriteJsonLine(jsonOut.get(), line); };
  io.stopRequested = stopRequested;
  io.metrics = served.get();
  io.stopCause = [] {
    return std::string(platform::TerminationRequested() ? "a signal" : "a key");
  };
  io.connected = [&] {
    if (options.quiet || options.json) return;
    std::printf("yebverify: %s stream from %s:%d, %zu parameters from %s, %d packets/s%s%s\n",
                options.source == SourceKind::kCustom ? "Custom" : "NEP", options.host.c_str(),
                options.port, list.parameters.size(), ListPathFor(options).c_str(),
                options.packetRate, options.superStress ? ", super stress" : "",
                options.runId.empty() ? "" : (", run " + options.runId).c_str());
    std::fflush(stdout);
  };
  Verifier verifier(options, model, io);
  if (!options.expectFaultsPath.empty()) verifier.ExpectFaults(faults);
  if (signalPlan || valuesOut) verifier.CheckSignals(&signalCheck);
  TcpConnector connector(options.host, options.port, options.connectWaitSeconds, stopRequested);
  const std::string started = WallClockText();
  const int status = verifier.Run(connector, listProblem);
  if (!options.junitPath.empty()) {
    const RunOutcome& outcome = verifier.outcome();
    const platform::Status written = WriteJUnitFile(
        options.junitPath,
        JUnitXml(RunCases(outcome, verifier.failures(), verifier.expected()),
                 outcome.elapsedSeconds, started, options.runId, outcome.summaryText));
    if (!written.ok()) {
      std::fprintf(stderr, "yebverify: error: %s\n", written.message().c_str());
      return kExitError;
    }
  }
  return status;
}
