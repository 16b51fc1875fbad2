// yebverify: stands in for the YEB against the stress tool. It connects,
// decodes the stream with the parameter list the tool wrote, checks every
// packet and reports what it found. See Verifier.h for the run and the exit
// status, Options.h for the command line.
#include <cstdio>
#include <string>
#include <vector>

#include "Options.h"
#include "ParameterList.h"
#include "StreamModel.h"
#include "Verifier.h"
#include "packet/FaultScript.h"
#include "platform/Console.h"
#include "platform/Termination.h"

namespace {

int UsageError(const std::string& reason) {
  std::fprintf(stderr, "yebverify: %s\n%s", reason.c_str(), yebverify::UsageText());
  return yebverify::kExitError;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace yebverify;
  platform::InstallTerminationHandlers();
  std::vector<std::string> args(argv + 1, argv + argc);
  VerifyOptions options;
  std::string error;
  if (!ParseOptions(args, options, error)) return UsageError(error);
  if (options.help) {
    std::fputs(HelpText().c_str(), stdout);
    return kExitOk;
  }

  ParameterList list;
  if (!LoadParameterList(ListPathFor(options), options.source, list, error)) {
    std::fprintf(stderr, "yebverify: error: %s\n", error.c_str());
    return kExitError;
  }
  std::string listProblem;
  if (options.tagOffset) ListTagsFollowOffset(list, *options.tagOffset, listProblem);

  StreamModel model(list, StreamShape{options.source, options.packetRate, options.superStress});
  if (model.packetSizeLimit() > kLargestPacketBytes) {
    std::fprintf(stderr,
                 "yebverify: error: %s gives packets of %llu bytes; the stress tool sends at "
                 "most %llu\n",
                 ListPathFor(options).c_str(),
                 static_cast<unsigned long long>(model.packetSizeLimit()),
                 static_cast<unsigned long long>(kLargestPacketBytes));
    return kExitError;
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
  io.stopRequested = stopRequested;
  if (!options.quiet && !options.json) {
    std::printf("yebverify: %s stream from %s:%d, %zu parameters from %s, %d packets/s%s\n",
                options.source == SourceKind::kCustom ? "Custom" : "NEP", options.host.c_str(),
                options.port, list.parameters.size(), ListPathFor(options).c_str(),
                options.packetRate, options.superStress ? ", super stress" : "");
    std::fflush(stdout);
  }
  packet::FaultScript faults;
  if (!options.expectFaultsPath.empty() &&
      !packet::LoadFaultScript(options.expectFaultsPath, &faults, &error)) {
    std::fprintf(stderr, "yebverify: error: fault script %s: %s\n",
                 options.expectFaultsPath.c_str(), error.c_str());
    return kExitError;
  }
  Verifier verifier(options, model, io);
  if (!options.expectFaultsPath.empty()) verifier.ExpectFaults(faults);
  TcpConnector connector(options.host, options.port, options.connectWaitSeconds, stopRequested);
  return verifier.Run(connector, listProblem);
}
