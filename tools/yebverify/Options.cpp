#include "Options.h"

#include <charconv>
#include <cmath>

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

}  // namespace

const char* UsageText() {
  return "usage: yebverify [--host H] [--port P] [--source custom|nep] [--list PATH]\n"
         "                 [--seconds N | --packets N] [--packet-rate 50|100|200] "
         "[--super-stress]\n"
         "                 [--tag-offset T] [--time-jump] [--time-gap] [--reconnect N]\n"
         "                 [--connect-wait S] [--expect-faults FILE] [--json] [--quiet]\n";
}

bool ParseOptions(const std::vector<std::string>& args, VerifyOptions& options,
                  std::string& error) {
  options = VerifyOptions();
  bool sawSeconds = false, sawPackets = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
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
      } else {
        error = "--source takes custom or nep, not \"" + text + "\"";
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
    } else if (arg == "--expect-faults") {
      if (!value(options.expectFaultsPath)) return false;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else {
      error = "unknown option \"" + arg + "\"";
      return false;
    }
  }
  if (sawSeconds && sawPackets) {
    error = "give --seconds or --packets, not both";
    return false;
  }
  return true;
}

std::string ListPathFor(const VerifyOptions& options) {
  if (!options.listPath.empty()) return options.listPath;
  return options.source == SourceKind::kCustom ? "./YEBFiles/zarnYEB.prn" : "./YEBFiles/NEP.xml";
}

}  // namespace yebverify
