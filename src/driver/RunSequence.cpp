#include "driver/RunSequence.h"

#include <algorithm>
#include <memory>
#include <string>

#include "artefacts/ConfigFileBuilder.h"
#include "artefacts/ListFileOutput.h"
#include "artefacts/NepXmlFile.h"
#include "artefacts/ParmInfoFile.h"
#include "artefacts/ParmSetFromConfig.h"
#include "artefacts/PrnFile.h"
#include "driver/AcceptLoop.h"
#include "driver/CommandLine.h"
#include "driver/ConnectionSet.h"
#include "driver/FaultInjector.h"
#include "driver/MetricsServe.h"
#include "driver/Playback.h"
#include "driver/ProcessState.h"
#include "driver/Reasons.h"
#include "driver/RunManifest.h"
#include "driver/RunSettings.h"
#include "driver/RunSignals.h"
#include "driver/StatsFile.h"
#include "driver/Transfer.h"
#include "net/utServerSocket.h"
#include "packet/PacketBuilder.h"
#include "packet/PacketState.h"
#include "packet/SendBuffer.h"
#include "platform/BuildInfo.h"
#include "platform/DebugOutput.h"
#include "platform/System.h"
#include "platform/Termination.h"
#include "templatelib/tThreadRegistry.h"

namespace driver {
namespace {

constexpr char kBanner[] =
    "*******************************************************************************\n"
    "*                                                                             *\n"
    "*                    Welcome to the YEB Stress Test Program                   *\n"
    "*                                                                             *\n"
    "*******************************************************************************\n\n\n";

constexpr int32_t kListenBacklog = 1;

// A bare file name is read from the working folder: shown as such.
std::string PathAsRead(const std::string& name) {
  if (name.find('/') != std::string::npos ||
      name.find(platform::PathSeparator()) != std::string::npos) {
    return name;
  }
  return platform::JoinPath(".", name);
}

class RunSequence {
 public:
  explicit RunSequence(RunEnvironment& env) : env_(env), settings_(Settings()) {}

  int Run(int argc, const char* const* argv) {
    settings_.sourceType = packet::kSourceCustom;
    CommandLineResult parsed = ParseCommandLine(argc, argv, settings_);
    switch (parsed.action) {
      case CommandLineResult::Action::kHelp:
        env_.out.Write(UsageText());
        return kExitNormal;
      case CommandLineResult::Action::kVersion:
        env_.out.Write(platform::VersionLine("yebstress"));
        return kExitNormal;
      case CommandLineResult::Action::kRun:
        break;
    }
    env_.out.Write(kBanner);
    env_.out.Write(parsed.warnings);
    if (!parsed.ok()) return Fail((parsed.status.message() + "\n").c_str());
    if (!OpenStatsFile()) return ExitSequence(kExitFailure);
    if (!ServeMetrics(settings_, env_.out, metrics_)) return ExitSequence(kExitFailure);

    if (settings_.playbackInfo) return PrintPlaybackInfo(env_.out) ? kExitNormal : kExitFailure;
    if (settings_.playbackFlag == 1) return RunPlaybackMode();
    if (settings_.sourceType == packet::kSourceNep && settings_.parmModeFlag) {
      platform::Printf(env_.out,
                       "Sorry - Config Mode not yet available with the NEP data source type\n");
      env_.keys.ReadKey();
      return ExitSequence(kExitFailure);
    }

    if (!LoadFaults()) return ExitSequence(kExitFailure);
    if (!LoadRunSignals(settings_, env_.out)) return ExitSequence(kExitFailure);

    settings_.packetPeriodMs = 1000 / settings_.packetRate;
    platform::CreateOneDirectory(settings_.outputDir);  // an existing folder is fine
    if (!settings_.configFilePath.empty() && !BuildParameterSet()) {
      return ExitSequence(kExitFailure);
    }

    if (!ReadParameters()) {
      return ExitSequence(platform::TerminationRequested() ? kExitNormal : kExitFailure);
    }
    if (!BuildConfiguration()) return ExitSequence(kExitFailure);
    if (!WriteParameterList()) return ExitSequence(kExitFailure);
    if (!ResolveRunSignals(settings_, Parms(), runId_, env_.out)) {
      return ExitSequence(kExitFailure);
    }

    platform::Printf(env_.out, "4. Wait for YEB connect...\n\n");
    const uint16_t port = static_cast<uint16_t>(static_cast<uint32_t>(settings_.port) & 0xFFFFu);
    // Several connections may be waiting to be taken between two packets.
    const int32_t backlog = std::max(kListenBacklog, settings_.connections);
    auto listener =
        std::make_unique<net::utServerSocket>(port, backlog, env_.out, settings_.bindIp);
    if (!listener->IsValid()) {
      env_.out.Write("*-Error: Creating a server Socket - quiting...\n");
      PrintReason(env_.out, listener->LastError());
      return ExitSequence(kExitFailure);
    }
    if (!WriteRunManifest(listener->BoundPort())) return ExitSequence(kExitFailure);

    packet::PacketState& state = Packets();
    if (!sendBuffer_.Allocate(state.packetBufferSize)) {
      return Fail("** Error - Unable to allocate memory for send buffer - quiting... \n");
    }
    state.packetHeader[0] = static_cast<uint32_t>(state.packetBufferSize - 4);
    for (int i = 1; i < 8; ++i) state.packetHeader[i] = 0;

    return ServeConnections(*listener);
  }

 private:
  // The parameter set from the configuration named with /ConfigParmMode or
  // /ConfigPerfMode; step 1 then reads what it wrote.
  bool BuildParameterSet() {
    platform::DiagnosticsCapture diagnostics;
    // parmInfo2.txt goes to the working folder, where step 1 reads it; parm
    // mode's PRN list to the output folder with the other lists.
    const std::string& config = settings_.configFilePath;
    bool built = false;
    if (settings_.parmModeFlag) {
      const std::string prnPath =
          artefacts::OutputPath(settings_.outputDir, artefacts::kPrnFileName);
      built = artefacts::BuildParmSetParmModeFrom(config, settings_.tagOffset,
                                                  artefacts::kParmInfo2FileName, prnPath);
    } else {
      built = artefacts::BuildParmSetPerfModeFrom(config, artefacts::kParmInfo2FileName);
    }
    if (!built) {
      platform::Printf(env_.out, "Error: Building Parameter set from config file: %s\n",
                       settings_.configFilePath.c_str());
      PrintDiagnostics(env_.out, diagnostics.Take());
      return false;
    }
    settings_.parmInfoFileName = artefacts::kParmInfo2FileName;
    return true;
  }

  // A script that cannot be read stops the run before anything is written,
  // naming the line and what is wrong with it.
  bool LoadFaults() {
    io::FaultScript& script = ActiveFaultScript();
    script = io::FaultScript{};
    if (settings_.faultScriptPath.empty()) return true;
    const platform::Status loaded = io::LoadFaultScript(settings_.faultScriptPath, &script);
    if (!loaded.ok()) {
      platform::Printf(env_.out, "** Error - Fault script %s: %s\n",
                       settings_.faultScriptPath.c_str(), loaded.message().c_str());
      return false;
    }
    platform::Printf(env_.out, "- Fault script %s: %zu events in every transfer\n\n",
                     settings_.faultScriptPath.c_str(), script.events.size());
    return true;
  }

  // Playback replaces the numbered steps; it needs no parameter set and
  // writes no files.
  int RunPlaybackMode() {
    if (settings_.connections > 1) {
      platform::Printf(
          env_.out, "- Playback serves one connection at a time: /Connections %d is not used\n\n",
          static_cast<int>(settings_.connections));
    }
    platform::Status failure;
    switch (RunPlayback(env_, sendBuffer_, nullptr, statsFile_.get(), &failure)) {
      case PlaybackEnd::kFileComplete:
        platform::Printf(env_.out, "Ciao...\n");
        return ExitSequence(kExitNormal);
      case PlaybackEnd::kReadError:
        platform::Printf(env_.out, "Ciao...\n");
        return ExitSequence(kExitFailure);
      case PlaybackEnd::kCannotOpen:
        platform::Printf(env_.out, "** Error - Unable to open the playback file: %s\n",
                         settings_.playbackFilePath.c_str());
        PrintReason(env_.out, failure);
        return ExitSequence(kExitFailure);
      case PlaybackEnd::kNoSocket:
      case PlaybackEnd::kBadAccept:
        return ExitSequence(kExitFailure);
      case PlaybackEnd::kTerminated:
        break;
    }
    return ExitSequence(kExitNormal);
  }

  // A statistics file that cannot be written is found out before anything
  // else is done, not after the operator has waited for a YEB.
  bool OpenStatsFile() {
    if (settings_.statsFilePath.empty()) return true;
    const platform::Status opened = StatsFile::Open(settings_.statsFilePath, env_.out, statsFile_);
    if (opened.ok()) {
      statsFile_->SetRunId(runId_);
      return true;
    }
    platform::Printf(env_.out, "** Error - Unable to open the statistics file: %s (%s)\n",
                     settings_.statsFilePath.c_str(), opened.message().c_str());
    return false;
  }

  bool ReadParameters() {
    // The file is read from the working folder (or the path given), not
    // from the output folder: the step names what it really reads.
    platform::Printf(env_.out, "1. Process the Parameter Information File: %s\n\n",
                     PathAsRead(settings_.parmInfoFileName).c_str());
    artefacts::ParmInfoOutcome outcome = artefacts::ProcessParmInfoFile(
        settings_.parmInfoFileName, PacketFormatOf(settings_), Parms(), Packets());
    env_.out.Write(outcome.notices);
    switch (outcome.status) {
      case artefacts::ParmInfoOutcome::Status::kOk:
        return true;
      case artefacts::ParmInfoOutcome::Status::kTooManyRecords:
      case artefacts::ParmInfoOutcome::Status::kPacketTooLarge:
      case artefacts::ParmInfoOutcome::Status::kNoParameters:
      case artefacts::ParmInfoOutcome::Status::kInterrupted:
        env_.out.Write(outcome.message);
        return false;
      case artefacts::ParmInfoOutcome::Status::kLineTooLong:
      case artefacts::ParmInfoOutcome::Status::kReadError:
        env_.out.Write(outcome.message);
        break;
      case artefacts::ParmInfoOutcome::Status::kNotRegular:
      case artefacts::ParmInfoOutcome::Status::kCannotOpen:
      case artefacts::ParmInfoOutcome::Status::kNoMemory:
        break;
    }
    platform::Printf(env_.out, "** Error - Unable to Open File\n");
    PrintReason(env_.out, outcome.reason);
    return false;
  }

  // Parm mode streams the parameters of an existing configuration, which
  // the analysis system already has: no configuration is written then.
  bool BuildConfiguration() {
    if (settings_.parmModeFlag) return true;
    platform::Printf(
        env_.out, "2. Build the Config File: %s\n\n",
        artefacts::OutputPath(settings_.outputDir, artefacts::kConfigFileName).c_str());
    platform::DiagnosticsCapture diagnostics;
    if (artefacts::BuildConfigFile(settings_.outputDir, Parms(), settings_.tagOffset)) return true;
    platform::Printf(env_.out, "** Error - Unable to build the configuration file: %s\n",
                     artefacts::kConfigFileName);
    PrintDiagnostics(env_.out, diagnostics.Take());
    return false;
  }

  bool WriteParameterList() {
    platform::DiagnosticsCapture diagnostics;
    const artefacts::ListSettings list = ListSettingsOf(settings_);
    if (settings_.sourceType == packet::kSourceNep) {
      platform::Printf(
          env_.out, "3. (NEP Data Source - ZARN Time Format) - Build the NEP XML File: %s\n\n",
          artefacts::OutputPath(settings_.outputDir, artefacts::kNepXmlFileName).c_str());
      if (artefacts::BuildNepXmlFile(list, Parms(), Packets(), env_.out)) return true;
      platform::Printf(env_.out, "**Error - Unable to build the NEP XML file: %s\n",
                       artefacts::kNepXmlFileName);
      PrintDiagnostics(env_.out, diagnostics.Take());
      return false;
    }
    if (settings_.parmModeFlag) return true;
    platform::Printf(env_.out, "3. (Custom Data Source) - Build the PRN File: %s\n\n",
                     artefacts::OutputPath(settings_.outputDir, artefacts::kPrnFileName).c_str());
    if (artefacts::BuildPrnFile(list, Parms(), Packets(), env_.out)) return true;
    platform::Printf(env_.out, "**Error - Unable to build the PRN File: %s\n",
                     artefacts::kPrnFileName);
    PrintDiagnostics(env_.out, diagnostics.Take());
    return false;
  }

  // "run.json" in the output folder, and the statistics file's "start"
  // event with the same fields.
  bool WriteRunManifest(uint16_t boundPort) {
    const packet::PacketState& state = Packets();
    RunFacts facts;
    facts.runId = runId_;
    facts.listPath = settings_.sourceType == packet::kSourceNep
                         ? artefacts::OutputPath(settings_.outputDir, artefacts::kNepXmlFileName)
                         : artefacts::OutputPath(settings_.outputDir, artefacts::kPrnFileName);
    facts.port = boundPort;
    facts.parameters = Parms().parmCount;
    facts.packetBytes = state.packetBufferSize;
    facts.wallMs = SystemWallClockMs()();
    const nlohmann::ordered_json manifest = ManifestJson(settings_, facts);
    const std::string path = artefacts::OutputPath(settings_.outputDir, kManifestFileName);
    if (platform::Status written = WriteManifest(path, manifest); !written.ok()) {
      platform::Printf(env_.out, "** Error - Unable to write the run manifest: %s\n", path.c_str());
      PrintReason(env_.out, written);
      return false;
    }
    WriteStartEvent(manifest);
    return true;
  }

  void WriteStartEvent(const nlohmann::ordered_json& fields) {
    if (!statsFile_) return;
    std::vector<StatsField> list;
    for (const auto& [name, value] : fields.items()) {
      if (name != "run_id") list.push_back(StatsField::Json(name, value));
    }
    statsFile_->WriteEvent("start", list);
  }

  // The wait for a connection ends early when /Duration is over.
  bool DurationOver() const {
    return env_.stopAtNs != kNoDeadline && env_.clock.NowNs() >= env_.stopAtNs;
  }

  // /Transfers and /Duration end the run as the end of playback does: no
  // key is waited for, so a script can start the tool and wait for it.
  int FinishAsTold() {
    platform::Printf(env_.out, "Ciao...\n");
    return ExitSequence(kExitNormal, /*waitForKey=*/false);
  }

  int ServeConnections(net::utServerSocket& listener) {
    int64_t connections = 0;
    int64_t transfers = 0;
    const net::utServerSocket::GiveUpCheck durationOver = [this] { return DurationOver(); };
    for (;;) {
      Accepted accepted = AcceptGreeted(listener, settings_.sourceType == packet::kSourceCustom,
                                        durationOver, env_.out);
      switch (accepted.end) {
        case AcceptEnd::kConnected:
          break;
        case AcceptEnd::kTerminated:
          return ExitSequence(kExitNormal);
        case AcceptEnd::kGaveUp:
          return FinishAsTold();
        case AcceptEnd::kBadAccept:
          return ExitSequence(kExitFailure);
      }
      std::unique_ptr<net::utServerSocket> connection = std::move(accepted.connection);
      if (settings_.durationSeconds > 0 && env_.stopAtNs == kNoDeadline) {
        env_.stopAtNs =
            env_.clock.NowNs() + static_cast<int64_t>(settings_.durationSeconds * 1e9 + 0.5);
      }
      platform::Printf(env_.out, "5. Start data source transfer - hit any key to continue...\n\n");
      if (settings_.connections > 1) {
        RunFanOut(listener, std::move(connection), connections);
      } else {
        RunTransfer(*connection, sendBuffer_, env_,
                    StatsTarget{statsFile_.get(), ++connections, true, metrics_.stream.get()});
      }
      if (platform::TerminationRequested()) return ExitSequence(kExitNormal);
      if (DurationOver() || (settings_.transfers > 0 && ++transfers >= settings_.transfers)) {
        return FinishAsTold();
      }
    }
  }

  // /Connections N: the connection just taken, and those that join while
  // the transfer runs, get the same stream.
  void RunFanOut(net::utServerSocket& listener, std::unique_ptr<net::utServerSocket> first,
                 int64_t& connections) {
    ConnectionSetOptions options;
    options.maxConnections = settings_.connections;
    options.packetRate = settings_.packetRate;
    options.customGreeting = settings_.sourceType == packet::kSourceCustom;
    ConnectionSet set(listener, options, env_, statsFile_.get(), connections);
    set.Add(std::move(first), /*greet=*/false);  // its greeting has gone out
    RunTransfer(set, sendBuffer_, env_,
                StatsTarget{statsFile_.get(), connections, /*connectionEvents=*/false,
                            metrics_.stream.get()});
  }

  int Fail(const char* message) {
    env_.out.Write(message);
    return ExitSequence(kExitFailure);
  }

  int ExitSequence(int status, bool waitForKey = true) {
    sendBuffer_.Release();
    if (waitForKey && !platform::TerminationRequested()) {
      platform::Printf(env_.out, "Hit any key to exit...\n");
      env_.keys.ReadKey();
    }
    ShutdownLibraryThreads();
    return status;
  }

  RunEnvironment& env_;
  RunSettings& settings_;
  packet::SendBuffer sendBuffer_;
  std::unique_ptr<StatsFile> statsFile_;
  ServedMetrics metrics_;
  const std::string runId_ = NewRunId();
};

}  // namespace

int RunStressTool(int argc, const char* const* argv, RunEnvironment& env) {
  return RunSequence(env).Run(argc, argv);
}

}  // namespace driver
