#include "driver/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <vector>

#include "driver/ConnectionSet.h"
#include "platform/NumberText.h"
#include "platform/Socket.h"

namespace driver {
namespace {

using platform::Status;

// What an option's handler is given: the option's name for its refusal
// lines, the values that follow it (present, as many as the option takes),
// and where it writes.
struct OptionCall {
  const char* name;
  const char* const* values;
  RunSettings& settings;
  std::string& warnings;
  // The first value; an option without values never asks for it.
  const char* value() const { return values[0]; }
};

using OptionHandler = Status (*)(const OptionCall& call);

struct OptionEntry {
  const char* name;
  int values;         // arguments that follow it
  const char* usage;  // the values as the help shows them
  const char* help;   // what it does, and its default
  OptionHandler act;
};

constexpr const char* kHelpWords[] = {"/?", "/help", "-h", "--help"};
constexpr const char* kVersionWords[] = {"/Version", "--version"};

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Options and their keywords are ASCII; no locale comes into it.
bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

template <size_t N>
bool IsOneOf(std::string_view word, const char* const (&words)[N]) {
  return std::any_of(std::begin(words), std::end(words),
                     [word](const char* w) { return EqualIgnoringCase(word, w); });
}

Status Refuse(std::string line) { return Status::InvalidArgument("** Error - " + std::move(line)); }

// Copies a text value, refusing one over its limit.
Status TakeText(const char* value, size_t limit, const char* optionName, std::string& target) {
  std::string text(value);
  if (text.size() > limit) {
    return Refuse("The value of " + std::string(optionName) + " is longer than " +
                  std::to_string(limit) + " characters");
  }
  target = std::move(text);
  return Status::Ok();
}

// Reads a whole number in [low, high]; `target` is written only when it is.
Status TakeNumber(const char* value, int64_t low, int64_t high, const char* optionName,
                  int32_t& target) {
  int64_t read = 0;
  switch (platform::ReadWholeNumber(value, low, high, read)) {
    case platform::WholeNumber::kOk:
      target = static_cast<int32_t>(read);
      return Status::Ok();
    case platform::WholeNumber::kNotANumber:
      return Refuse(std::string(optionName) + " " + value + ": not a whole number");
    case platform::WholeNumber::kOutOfRange:
      break;
  }
  return Refuse(std::string(optionName) + " " + value + " is outside " + std::to_string(low) +
                " to " + std::to_string(high));
}

// A decimal at most `high` and above 0 (or at least 0 with `zeroAllowed`),
// written whole.
bool ReadDecimal(const char* value, bool zeroAllowed, double high, double& number) {
  char* end = nullptr;
  errno = 0;
  const double read = std::strtod(value, &end);
  if (end == value || *end != '\0' || errno != 0 || !std::isfinite(read)) return false;
  if (!(read > 0.0 || (zeroAllowed && read == 0.0)) || read > high) return false;
  number = read;
  return true;
}

// Stamps are 32-bit counts of 100 us: no recording spans more.
constexpr double kMaxPlaybackStartSeconds = 429'496.0;

constexpr double kMaxDurationSeconds = 1e9;  // about 31 years

constexpr int64_t kInt32Low = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32High = std::numeric_limits<int32_t>::max();

// The handlers most options share: a field written from the value.

template <std::string RunSettings::*kField, size_t kLimit = kMaxPathText>
Status SetText(const OptionCall& call) {
  return TakeText(call.value(), kLimit, call.name, call.settings.*kField);
}

template <int32_t RunSettings::*kField, int64_t kLow = kInt32Low, int64_t kHigh = kInt32High>
Status SetNumber(const OptionCall& call) {
  return TakeNumber(call.value(), kLow, kHigh, call.name, call.settings.*kField);
}

// Read as a 32-bit number like every other; the field is wider.
template <int64_t RunSettings::*kField, int64_t kLow, int64_t kHigh>
Status SetWideNumber(const OptionCall& call) {
  int32_t number = 0;
  if (Status s = TakeNumber(call.value(), kLow, kHigh, call.name, number); !s.ok()) return s;
  call.settings.*kField = number;
  return Status::Ok();
}

template <int32_t RunSettings::*kFlag>
Status SetFlag(const OptionCall& call) {
  call.settings.*kFlag = 1;
  return Status::Ok();
}

// The flag is raised before the path is read, even when the path is refused.
template <int32_t RunSettings::*kModeFlag>
Status SetConfigMode(const OptionCall& call) {
  call.settings.*kModeFlag = 1;
  return SetText<&RunSettings::configFilePath>(call);
}

template <std::string RunSettings::*kText, uint32_t RunSettings::*kIp>
Status SetAddress(const OptionCall& call) {
  if (!platform::ParseIpv4(call.value(), call.settings.*kIp)) {
    return Refuse(std::string(call.name) + " " + call.value() +
                  ": not an IPv4 address such as 127.0.0.1");
  }
  call.settings.*kText = call.value();
  return Status::Ok();
}

// A playback option that, once read, has the file scanned at the start.
template <OptionHandler kSet>
Status SetScanned(const OptionCall& call) {
  if (Status s = kSet(call); !s.ok()) return s;
  call.settings.playbackScan = true;
  return Status::Ok();
}

// The handlers of options with a rule of their own.

Status SetSourceType(const OptionCall& call) {
  if (EqualIgnoringCase(call.value(), "Custom")) {
    call.settings.sourceType = packet::kSourceCustom;
  } else if (EqualIgnoringCase(call.value(), "NEP")) {
    call.settings.sourceType = packet::kSourceNep;
  } else {
    return Refuse("/SourceType " + std::string(call.value()) + ": neither Custom nor NEP");
  }
  return SetText<&RunSettings::sourceTypeText>(call);
}

Status SetPacketRate(const OptionCall& call) {
  int32_t period = 0;
  if (Status s = TakeNumber(call.value(), kInt32Low, kInt32High, call.name, period); !s.ok()) {
    return s;
  }
  if (period != 20 && period != 10 && period != 5) {
    call.warnings += "** Warning - /PacketRate " + std::string(call.value()) +
                     " is not 20, 10 or 5; 20 (50 packets per second) is used\n";
  }
  call.settings.packetRate = PacketRateForPeriod(period);
  return Status::Ok();
}

Status SetPlayback(const OptionCall& call) {
  if (!EqualIgnoringCase(call.value(), "KestCustom")) {
    return Refuse("/Playback " + std::string(call.value()) +
                  ": the playback type must be KestCustom, then the file");
  }
  call.settings.playbackFlag = 1;
  return TakeText(call.values[1], kMaxPlaybackPathText, call.name, call.settings.playbackFilePath);
}

Status SetPlaybackSpeed(const OptionCall& call) {
  if (!ReadDecimal(call.value(), false, kMaxPlaybackSpeed, call.settings.playbackSpeed)) {
    return Refuse("/PlaybackSpeed needs a number above 0 and at most 1000, not \"" +
                  std::string(call.value()) + "\"");
  }
  return Status::Ok();
}

Status SetDuration(const OptionCall& call) {
  if (!ReadDecimal(call.value(), false, kMaxDurationSeconds, call.settings.durationSeconds)) {
    return Refuse("/Duration " + std::string(call.value()) +
                  ": not a number of seconds above 0 and at most 1000000000");
  }
  return Status::Ok();
}

Status SetPlaybackStart(const OptionCall& call) {
  if (!ReadDecimal(call.value(), true, kMaxPlaybackStartSeconds,
                   call.settings.playbackStartSeconds)) {
    return Refuse("/PlaybackStart needs seconds from 0 to 429496, not \"" +
                  std::string(call.value()) + "\"");
  }
  return Status::Ok();
}

Status SetPlaybackInfo(const OptionCall& call) {
  call.settings.playbackInfo = true;
  return Status::Ok();
}

// In the order in which an argument is compared with them.
constexpr OptionEntry kOptions[] = {
    {"/OutputDir", 1, "FOLDER",
     "where the configuration and the parameter list are written (YEBFiles)",
     SetText<&RunSettings::outputDir>},
    {"/SourceType", 1, "Custom|NEP", "the data source type (Custom)", SetSourceType},
    {"/ConfigParmMode", 1, "CONFIG",
     "stream the parameters of an existing configuration (Custom only)",
     SetConfigMode<&RunSettings::parmModeFlag>},
    {"/ConfigPerfMode", 1, "CONFIG", "as many parameters at each rate as CONFIG has",
     SetConfigMode<&RunSettings::perfModeFlag>},
    {"/ParmInfo", 1, "FILE", "the parameter information file, lines of count,rate (parmInfo.txt)",
     SetText<&RunSettings::parmInfoFileName>},
    {"/PacketRate", 1, "20|10|5", "the packet period in ms: 50, 100 or 200 packets per second (20)",
     SetPacketRate},
    {"/TimeJump", 0, "", "Custom: every 10th cycle the data time jumps 15 s ahead",
     SetFlag<&RunSettings::timeJumpFlag>},
    {"/TimeGap", 0, "", "Custom: the data time doubles when its text holds \"5:\"",
     SetFlag<&RunSettings::timeGapFlag>},
    {"/Playback", 2, "KestCustom FILE",
     "replay a recorded data file instead of synthesising packets", SetPlayback},
    {"/SuperStress", 0, "", "sample every parameter in more packets (NEP: steps of 2)",
     SetFlag<&RunSettings::superStressFlag>},
    // The socket takes 16 bits; a larger port would be cut to another
    // (110536 listens on 45000) while every message shows the number given.
    // 0 asks the system for a free port; the messages then show the one given.
    {"/PortId", 1, "PORT", "the TCP port to listen on, 1 to 65535, or 0 for a free one (49000)",
     SetNumber<&RunSettings::port, 0, 65535>},
    {"/TagOffset", 1, "N", "added to every parameter's tag (0)",
     SetNumber<&RunSettings::tagOffset>},
    {"/DataSource", 1, "N", "the data source number in the PRN list (0)",
     SetNumber<&RunSettings::dataSourceNumber>},
    {"/ParmPrefix", 1, "TEXT", "the parameter name prefix (S01_)",
     SetText<&RunSettings::parmPrefix, kMaxPrefixText>},
    {"/PlaybackSpeed", 1, "F", "replay F times faster, above 0 and at most 1000 (1)",
     SetPlaybackSpeed},
    {"/FaultScript", 1, "FILE", "faults to inject into every transfer (none)",
     SetText<&RunSettings::faultScriptPath>},
    {"/StatsFile", 1, "FILE", "append one JSON line per connection, cycle and end (none)",
     SetText<&RunSettings::statsFilePath>},
    {"/Transfers", 1, "N", "end after N transfers, not in playback (never)",
     SetWideNumber<&RunSettings::transfers, 1, kInt32High>},
    {"/Duration", 1, "SECONDS", "end this long after the first connection, not in playback (never)",
     SetDuration},
    {"/Bind", 1, "ADDRESS", "listen on this IPv4 address only (every interface)",
     SetAddress<&RunSettings::bindAddress, &RunSettings::bindIp>},
    {"/Signals", 1, "FILE", "waveforms, limits and edge values in place of counters (none)",
     SetText<&RunSettings::signalsPath>},
    {"/ValueLog", 1, "FILE", "append a CSV line per sample sent of /ValueLogParams (none)",
     SetText<&RunSettings::valueLogPath>},
    {"/ValueLogParams", 1, "SELECTOR", "the parameters /ValueLog records: *, NAME, rate=R, #A-B",
     SetText<&RunSettings::valueLogParams>},
    {"/PlaybackLoop", 1, "N", "replay the file N times, 0 for ever, the pace running on (1)",
     SetScanned<SetWideNumber<&RunSettings::playbackLoops, 0, 1'000'000'000>>},
    {"/PlaybackStart", 1, "S", "begin S seconds after the first record's stamp (0)",
     SetScanned<SetPlaybackStart>},
    {"/PlaybackMaxGap", 1, "MS",
     "a longer gap is a jump, waited as min(1000, MS) ms; 1 to 3600000 (60000)",
     SetScanned<SetWideNumber<&RunSettings::playbackMaxGapMs, 1, 3'600'000>>},
    {"/PlaybackInfo", 0, "", "summarise the playback file and its replay time, then end",
     SetScanned<SetPlaybackInfo>},
    {"/Connections", 1, "N",
     "serve up to N connections at once, 1 to 16, each the same stream; playback serves one (1)",
     SetNumber<&RunSettings::connections, 1, kMaxConnections>},
    {"/MetricsPort", 1, "PORT", "serve Prometheus metrics at http://127.0.0.1:PORT/metrics (none)",
     SetNumber<&RunSettings::metricsPort, 1, 65535>},
    {"/MetricsBind", 1, "ADDRESS", "the IPv4 address the metrics are served on (127.0.0.1)",
     SetAddress<&RunSettings::metricsBind, &RunSettings::metricsBindIp>},
};

const OptionEntry* MatchOption(std::string_view argument) {
  for (const OptionEntry& entry : kOptions) {
    if (EqualIgnoringCase(argument, entry.name)) return &entry;
  }
  return nullptr;
}

// Edits between two words, ignoring case: how far a typo is from an option.
size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      const size_t change = diagonal + (Lower(a[i - 1]) == Lower(b[j - 1]) ? 0 : 1);
      row[j] = std::min({above + 1, row[j - 1] + 1, change});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The option a mistyped word most likely meant: the closest by edits, or
// one the word begins or ends. None when nothing is near.
const OptionEntry* NearestOption(std::string_view word) {
  std::string asOption(word);
  if (!asOption.empty() && asOption[0] == '-') {
    asOption.erase(0, asOption.find_first_not_of('-'));
    asOption.insert(0, "/");
  } else if (asOption.empty() || asOption[0] != '/') {
    asOption.insert(0, "/");
  }
  const OptionEntry* best = nullptr;
  size_t bestDistance = std::numeric_limits<size_t>::max();
  for (const OptionEntry& entry : kOptions) {
    const std::string_view name(entry.name);
    size_t distance = EditDistance(asOption, name);
    const bool prefix =
        asOption.size() >= 4 &&
        (EqualIgnoringCase(name.substr(0, std::min(name.size(), asOption.size())), asOption) ||
         EqualIgnoringCase(asOption.substr(0, name.size()), name));
    if (prefix) distance = std::min<size_t>(distance, 1);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = &entry;
    }
  }
  const size_t allowed = std::max<size_t>(2, asOption.size() / 3);
  return bestDistance <= allowed ? best : nullptr;
}

Status UnknownWord(std::string_view word) {
  std::string line(word);
  line += " is not an option";
  if (const OptionEntry* nearest = NearestOption(word)) {
    line += "; did you mean ";
    line += nearest->name;
    line += "?";
  } else {
    line += "; /? lists the options";
  }
  return Refuse(std::move(line));
}

// The action a help or version word asks for, wherever it stands: help wins
// over version, and either over every other word, so that a command line
// being put together can always be asked about.
CommandLineResult::Action WordAskedFor(int argc, const char* const* argv) {
  CommandLineResult::Action action = CommandLineResult::Action::kRun;
  for (int i = 1; i < argc; ++i) {
    if (IsOneOf(argv[i], kHelpWords)) return CommandLineResult::Action::kHelp;
    if (IsOneOf(argv[i], kVersionWords)) action = CommandLineResult::Action::kVersion;
  }
  return action;
}

Status MissingValues(const OptionEntry& entry) {
  return Refuse("The option " + std::string(entry.name) + " needs " +
                (entry.values == 1 ? "a value" : std::to_string(entry.values) + " values"));
}

// Acts on every option word in turn, the program name included. A value is
// no unknown word, but one that spells an option acts as one too.
Status ApplyOptions(int argc, const char* const* argv, RunSettings& settings,
                    std::string& warnings) {
  int valuesAhead = 0;  // how many of the next arguments are an option's values
  for (int i = 0; i < argc; ++i) {
    const bool isValue = valuesAhead > 0;
    if (isValue) --valuesAhead;
    const OptionEntry* entry = MatchOption(argv[i]);
    if (entry == nullptr) {
      if (i > 0 && !isValue) return UnknownWord(argv[i]);
      continue;
    }
    if (entry->values > valuesAhead) valuesAhead = entry->values;
    if (argc - 1 - i < entry->values) return MissingValues(*entry);
    if (Status s = entry->act({entry->name, argv + i + 1, settings, warnings}); !s.ok()) return s;
  }
  return Status::Ok();
}

// /ValueLog and /ValueLogParams are given together or not at all.
Status CheckValueLogPair(const RunSettings& settings) {
  if (settings.valueLogPath.empty() == settings.valueLogParams.empty()) return Status::Ok();
  return Refuse(settings.valueLogPath.empty()
                    ? "/ValueLogParams needs /ValueLog FILE"
                    : "/ValueLog needs /ValueLogParams SELECTOR (*, NAME, rate=R, #A-B)");
}

}  // namespace

int32_t PacketRateForPeriod(int32_t periodMs) {
  switch (periodMs) {
    case 10:
      return 100;
    case 5:
      return 200;
    default:
      return 50;
  }
}

std::string UsageText() {
  std::string text = "usage: yebstress [OPTION [VALUE]]...\n\n";
  // The option and its values, then what it does: on the same line when
  // both fit in 79 columns, else on the next.
  constexpr size_t kColumn = 26;
  for (const OptionEntry& entry : kOptions) {
    std::string line = std::string("  ") + entry.name;
    if (entry.usage[0] != '\0') line += std::string(" ") + entry.usage;
    if (line.size() < kColumn && kColumn + std::string_view(entry.help).size() <= 79) {
      line.resize(kColumn, ' ');
    } else {
      line += "\n      ";
    }
    text += line + entry.help + "\n";
  }
  text +=
      "  /?, /help, -h, --help   this text\n"
      "  /Version, --version     the program's version\n"
      "\n"
      "Options are matched without regard to case. Without /Playback the tool writes\n"
      "the configuration and the parameter list, listens on the port, and streams to\n"
      "each YEB that connects until it goes away or a key is pressed.\n";
  return text;
}

CommandLineResult ParseCommandLine(int argc, const char* const* argv, RunSettings& settings) {
  CommandLineResult result;
  result.action = WordAskedFor(argc, argv);
  if (result.action != CommandLineResult::Action::kRun) return result;
  result.status = ApplyOptions(argc, argv, settings, result.warnings);
  if (result.ok()) result.status = CheckValueLogPair(settings);
  return result;
}

}  // namespace driver
