#include "Options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <string_view>
#include <utility>

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

namespace {

// Options that are a switch.
constexpr std::pair<std::string_view, bool VerifyOptions::*> kSwitches[] = {
    {"--help", &VerifyOptions::help},          {"-h", &VerifyOptions::help},
    {"--version", &VerifyOptions::version},    {"--super-stress", &VerifyOptions::superStress},
    {"--time-jump", &VerifyOptions::timeJump}, {"--time-gap", &VerifyOptions::timeGap},
    {"--json", &VerifyOptions::json},          {"--quiet", &VerifyOptions::quiet},
};

// Options whose value is kept as given.
constexpr std::pair<std::string_view, std::string VerifyOptions::*> kTexts[] = {
    {"--manifest", &VerifyOptions::manifestPath},
    {"--json-out", &VerifyOptions::jsonOutPath},
    {"--junit", &VerifyOptions::junitPath},
    {"--metrics-bind", &VerifyOptions::metricsBind},
    {"--list", &VerifyOptions::listPath},
    {"--signals", &VerifyOptions::signalsPath},
    {"--values-out", &VerifyOptions::valuesOutPath},
    {"--params", &VerifyOptions::params},
    {"--expect-faults", &VerifyOptions::expectFaultsPath},
};

// Options whose value is checked by StoreCheckedValue.
constexpr std::string_view kChecked[] = {
    "--metrics-port", "--host",         "--port",        "--source",
    "--seconds",      "--packets",      "--packet-rate", "--tag-offset",
    "--reconnect",    "--connect-wait", "--max-late-ms", "--min-rate-percent",
};

template <typename Table>
auto Lookup(const Table& table, const std::string& arg) -> decltype(table[0].second) {
  for (const auto& [name, field] : table) {
    if (name == arg) return field;
  }
  return nullptr;
}

// Stores the value `text` of `arg`, one of kChecked; fails, saying what
// the option takes, when the value does not do.
platform::Status StoreCheckedValue(const std::string& arg, const std::string& text,
                                   VerifyOptions& options) {
  int64_t number = 0;
  auto fail = [&](const std::string& takes) {
    return platform::Status::InvalidArgument(arg + " takes " + takes + ", not \"" + text + "\"");
  };
  if (arg == "--metrics-port" || arg == "--port") {
    if (!ReadInteger(text, 1, 65535, number)) return fail("a port number 1..65535");
    (arg == "--port" ? options.port : options.metricsPort) = static_cast<int>(number);
  } else if (arg == "--host") {
    options.host = text;
    if (options.host.empty()) {
      return platform::Status::InvalidArgument("--host needs a host name or address");
    }
  } else if (arg == "--source") {
    if (text == "custom") {
      options.source = SourceKind::kCustom;
    } else if (text == "nep") {
      options.source = SourceKind::kNep;
    } else if (text == "playback") {
      options.playback = true;
    } else {
      return fail("custom, nep or playback");
    }
  } else if (arg == "--seconds") {
    if (!ReadSeconds(text, options.seconds)) return fail("a positive number of seconds");
  } else if (arg == "--packets") {
    if (!ReadInteger(text, 1, INT64_MAX, number)) return fail("a positive count");
    options.packets = static_cast<uint64_t>(number);
  } else if (arg == "--packet-rate") {
    if (text != "50" && text != "100" && text != "200") {
      return fail("50, 100 or 200 packets per second");
    }
    options.packetRate = std::stoi(text);
  } else if (arg == "--tag-offset") {
    if (!ReadInteger(text, INT32_MIN, INT32_MAX, number)) return fail("a 32-bit integer");
    options.tagOffset = number;
  } else if (arg == "--reconnect") {
    if (!ReadInteger(text, 0, 1000000, number)) return fail("a count 0..1000000");
    options.reconnects = static_cast<int>(number);
  } else if (arg == "--connect-wait") {
    if (text != "0" && !ReadSeconds(text, options.connectWaitSeconds)) {
      return fail("a number of seconds");
    }
    if (text == "0") options.connectWaitSeconds = 0.0;
  } else {  // --max-late-ms, --min-rate-percent
    double limit = 0.0;
    if (!ReadLimit(text, limit)) return fail("a number 0 or more");
    (arg == "--max-late-ms" ? options.maxLateMs : options.minRatePercent) = limit;
  }
  return platform::Status::Ok();
}

// What no single option can check: the ones that go together or exclude
// each other.
platform::Status CheckCombinations(const VerifyOptions& options) {
  using platform::Status;
  if (options.valuesOutPath.empty() != options.params.empty()) {
    return Status::InvalidArgument(options.params.empty() ? "--values-out needs --params SELECTOR"
                                                          : "--params needs --values-out FILE");
  }
  if (options.playback && options.playbackFile.empty()) {
    return Status::InvalidArgument("--source playback needs --file F, the file the tool replays");
  }
  if (options.Given("--seconds") && options.Given("--packets")) {
    return Status::InvalidArgument("give --seconds or --packets, not both");
  }
  return Status::Ok();
}

}  // namespace

platform::Status ParseOptions(const std::vector<std::string>& args, VerifyOptions& options) {
  options = VerifyOptions();
  // --json first: a usage error anywhere is then written as JSON too.
  for (const std::string& arg : args) {
    if (arg == "--json") options.json = true;
  }
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.starts_with("--")) options.given.push_back(arg);
    if (bool VerifyOptions::*flag = Lookup(kSwitches, arg)) {
      options.*flag = true;
      continue;
    }
    std::string VerifyOptions::*field = Lookup(kTexts, arg);
    if (field != nullptr ||
        std::find(std::begin(kChecked), std::end(kChecked), arg) != std::end(kChecked)) {
      if (i + 1 >= args.size()) return platform::Status::InvalidArgument(arg + " needs a value");
      const std::string& text = args[++i];
      if (field != nullptr) {
        options.*field = text;
        continue;
      }
      const platform::Status stored = StoreCheckedValue(arg, text, options);
      if (!stored.ok()) return stored;
      continue;
    }
    bool matched = false;
    const platform::Status playback = ParsePlaybackOption(args, i, options, matched);
    if (!playback.ok()) return playback;
    if (!matched) return platform::Status::InvalidArgument("unknown option \"" + arg + "\"");
  }
  return CheckCombinations(options);
}

bool VerifyOptions::Given(const char* option) const {
  return std::find(given.begin(), given.end(), option) != given.end();
}

std::string ListPathFor(const VerifyOptions& options) {
  if (!options.listPath.empty()) return options.listPath;
  return options.source == SourceKind::kCustom ? "./YEBFiles/zarnYEB.prn" : "./YEBFiles/NEP.xml";
}

}  // namespace yebverify
