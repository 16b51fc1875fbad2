#include "Options.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "PlaybackVerifier.h"

namespace yebverify {
namespace {

bool ReadInteger(const std::string& text, int64_t low, int64_t high, int64_t& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

bool ReadSeconds(const std::string& text, double& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value) &&
         value > 0.0 && value < 1e9;
}

// A finite number, 0 or more.
bool ReadLimit(const std::string& text, double& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value) &&
         value >= 0.0 && value < 1e9;
}

}  // namespace

const char* UsageText() {
  return "usage: yebverify [--host H] [--port P] [--source custom|nep] [--list PATH]\n"
         "                 [--seconds N | --packets N] [--packet-rate 50|100|200] "
         "[--super-stress]\n"
         "                 [--tag-offset T] [--time-jump] [--time-gap] [--reconnect N]\n"
         "                 [--connect-wait S] [--expect-faults FILE] [--json] [--quiet]\n"
         "                 [--max-late-ms X] [--min-rate-percent P] [--manifest PATH]\n"
         "                 [--json-out FILE] [--junit FILE] [--version]\n"
         "                 [--signals FILE] [--values-out FILE --params SELECTOR]\n"
         "                 [--metrics-port P [--metrics-bind ADDR]]\n"
         "       yebverify --source playback --file F [--playback-speed X] [--playback-start S]\n"
         "                 [--playback-loop N] [--playback-max-gap MS] [--reconnect N] ...\n";
}

std::string HelpText() {
  return std::string(UsageText()) +
         "\n"
         "Stands in for the YEB: connects to yebstress, checks every packet against the\n"
         "parameter list and reports once a second and at the end.\n"
         "\n"
         "  --host H, --port P      where the stress tool listens (127.0.0.1, 49000)\n"
         "  --manifest PATH         the tool's YEBFiles/run.json: every setting below that\n"
         "                          is not given comes from it (given ones win, warned)\n"
         "  --source custom|nep     the tool's /SourceType (custom)\n"
         "  --source playback --file F  check a replay of F byte for byte, and its pacing;\n"
         "                          --playback-speed, -start, -loop, -max-gap as the tool's\n"
         "                          /PlaybackSpeed, /PlaybackStart, /PlaybackLoop, "
         "/PlaybackMaxGap\n"
         "  --list PATH             the list the tool wrote (./YEBFiles/zarnYEB.prn or NEP.xml)\n"
         "  --seconds N, --packets N  end each connection after this (default: when it ends)\n"
         "  --packet-rate R         packets per second: 50, 100, 200 for /PacketRate 20, 10, 5\n"
         "  --super-stress, --tag-offset T, --time-jump, --time-gap  as told to the tool\n"
         "  --reconnect N           connect N more times after a connection ends\n"
         "  --connect-wait S        keep trying to connect this long (5)\n"
         "  --expect-faults FILE    the tool's /FaultScript: pass when exactly its faults\n"
         "                          come, each at its packet within one\n"
         "  --json                  one JSON object per line; --quiet: the summary only\n"
         "  --json-out FILE         also write the JSON lines to FILE (the console keeps\n"
         "                          the report)\n"
         "  --junit FILE            write a JUnit XML report to FILE at the end\n"
         "  --metrics-port P        serve Prometheus metrics at http://127.0.0.1:P/metrics\n"
         "  --metrics-bind ADDR     ... on this IPv4 address instead\n"
         "  --max-late-ms X         fail when the lateness p99 over the run is above X ms\n"
         "  --min-rate-percent P    fail when the steady packet rate is below P % of the\n"
         "                          nominal rate\n"
         "  --signals FILE          the tool's /Signals: every sample of a signal must be\n"
         "                          its rule's value (bit for bit; a sine within 1 ulp)\n"
         "  --values-out FILE       write each sample received of --params SELECTOR (*,\n"
         "                          NAME, rate=R, #A-B) as the tool's /ValueLog does\n"
         "  --version               print the version and end\n"
         "\n"
         "Figures: rate is packets per second between the first and the last arrival of\n"
         "each connection. The steady rate counts each connection from its first cycle\n"
         "boundary on, since a transfer that starts inside one of the tool's cycles sends\n"
         "the rest of that cycle and then holds it to its second. Inter-arrival is the time "
         "between consecutive packets.\n"
         "Lateness is how long after its due time a packet arrived, on the tool's own\n"
         "schedule: the tool sends in one-second cycles of packet-rate packets (the first\n"
         "one packet short, every one held to a second), so the first packet of each\n"
         "cycle (every rate-th packet by sequence number, or by NEP time entries) is due\n"
         "one second after the first packet of the cycle before, and the packets after\n"
         "it one period apart. A stream on pace shows lateness near 0; a stall shows its\n"
         "length. Early packets count as 0.\n"
         "\n"
         "Exit status: 0 every check passed and every threshold was met, 1 a check\n"
         "failed, a threshold was broken, or the run was cut short (INCOMPLETE: a key,\n"
         "a signal or a lost connection before --seconds, --packets or --reconnect\n"
         "were met), 2 usage, manifest, list or connection error.\n";
}

bool ParseOptions(const std::vector<std::string>& args, VerifyOptions& options,
                  std::string& error) {
  options = VerifyOptions();
  // --json first: a usage error anywhere is then written as JSON too.
  for (const std::string& arg : args) {
    if (arg == "--json") options.json = true;
  }
  bool sawSeconds = false, sawPackets = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.starts_with("--")) options.given.push_back(arg);
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string text;
    int64_t number = 0;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--manifest") {
      if (!value(options.manifestPath)) return false;
    } else if (arg == "--json-out") {
      if (!value(options.jsonOutPath)) return false;
    } else if (arg == "--junit") {
      if (!value(options.junitPath)) return false;
    } else if (arg == "--metrics-port") {
      if (!value(text)) return false;
      if (!ReadInteger(text, 1, 65535, number)) {
        error = "--metrics-port takes a port number 1..65535, not \"" + text + "\"";
        return false;
      }
      options.metricsPort = static_cast<int>(number);
    } else if (arg == "--metrics-bind") {
      if (!value(options.metricsBind)) return false;
    } else if (arg == "--host") {
      if (!value(options.host)) return false;
      if (options.host.empty()) {
        error = "--host needs a host name or address";
        return false;
      }
    } else if (arg == "--port") {
      if (!value(text)) return false;
      if (!ReadInteger(text, 1, 65535, number)) {
        error = "--port takes a port number 1..65535, not \"" + text + "\"";
        return false;
      }
      options.port = static_cast<int>(number);
    } else if (arg == "--source") {
      if (!value(text)) return false;
      if (text == "custom") {
        options.source = SourceKind::kCustom;
      } else if (text == "nep") {
        options.source = SourceKind::kNep;
      } else if (text == "playback") {
        options.playback = true;
      } else {
        error = "--source takes custom, nep or playback, not \"" + text + "\"";
        return false;
      }
    } else if (arg == "--list") {
      if (!value(options.listPath)) return false;
    } else if (arg == "--seconds") {
      if (!value(text)) return false;
      if (!ReadSeconds(text, options.seconds)) {
        error = "--seconds takes a positive number of seconds, not \"" + text + "\"";
        return false;
      }
      sawSeconds = true;
    } else if (arg == "--packets") {
      if (!value(text)) return false;
      if (!ReadInteger(text, 1, INT64_MAX, number)) {
        error = "--packets takes a positive count, not \"" + text + "\"";
        return false;
      }
      options.packets = static_cast<uint64_t>(number);
      sawPackets = true;
    } else if (arg == "--packet-rate") {
      if (!value(text)) return false;
      if (text != "50" && text != "100" && text != "200") {
        error = "--packet-rate takes 50, 100 or 200 packets per second, not \"" + text + "\"";
        return false;
      }
      options.packetRate = std::stoi(text);
    } else if (arg == "--super-stress") {
      options.superStress = true;
    } else if (arg == "--tag-offset") {
      if (!value(text)) return false;
      if (!ReadInteger(text, INT32_MIN, INT32_MAX, number)) {
        error = "--tag-offset takes a 32-bit integer, not \"" + text + "\"";
        return false;
      }
      options.tagOffset = number;
    } else if (arg == "--time-jump") {
      options.timeJump = true;
    } else if (arg == "--time-gap") {
      options.timeGap = true;
    } else if (arg == "--reconnect") {
      if (!value(text)) return false;
      if (!ReadInteger(text, 0, 1000000, number)) {
        error = "--reconnect takes a count 0..1000000, not \"" + text + "\"";
        return false;
      }
      options.reconnects = static_cast<int>(number);
    } else if (arg == "--connect-wait") {
      if (!value(text)) return false;
      if (text != "0" && !ReadSeconds(text, options.connectWaitSeconds)) {
        error = "--connect-wait takes a number of seconds, not \"" + text + "\"";
        return false;
      }
      if (text == "0") options.connectWaitSeconds = 0.0;
    } else if (arg == "--signals") {
      if (!value(options.signalsPath)) return false;
    } else if (arg == "--values-out") {
      if (!value(options.valuesOutPath)) return false;
    } else if (arg == "--params") {
      if (!value(options.params)) return false;
    } else if (arg == "--expect-faults") {
      if (!value(options.expectFaultsPath)) return false;
    } else if (arg == "--max-late-ms" || arg == "--min-rate-percent") {
      if (!value(text)) return false;
      double limit = 0.0;
      if (!ReadLimit(text, limit)) {
        error = arg + " takes a number 0 or more, not \"" + text + "\"";
        return false;
      }
      (arg == "--max-late-ms" ? options.maxLateMs : options.minRatePercent) = limit;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else {
      bool matched = false;
      if (!ParsePlaybackOption(args, i, options, error, matched)) return false;
      if (!matched) {
        error = "unknown option \"" + arg + "\"";
        return false;
      }
    }
  }
  if (options.valuesOutPath.empty() != options.params.empty()) {
    error = options.params.empty() ? "--values-out needs --params SELECTOR"
                                   : "--params needs --values-out FILE";
    return false;
  }
  if (options.playback && options.playbackFile.empty()) {
    error = "--source playback needs --file F, the file the tool replays";
    return false;
  }
  if (sawSeconds && sawPackets) {
    error = "give --seconds or --packets, not both";
    return false;
  }
  return true;
}

bool VerifyOptions::Given(const char* option) const {
  return std::find(given.begin(), given.end(), option) != given.end();
}

std::string ListPathFor(const VerifyOptions& options) {
  if (!options.listPath.empty()) return options.listPath;
  return options.source == SourceKind::kCustom ? "./YEBFiles/zarnYEB.prn" : "./YEBFiles/NEP.xml";
}

}  // namespace yebverify
