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

enum class Option {
  kOutputDir,
  kSourceType,
  kConfigParmMode,
  kConfigPerfMode,
  kParmInfo,
  kPacketRate,
  kTimeJump,
  kTimeGap,
  kPlayback,
  kSuperStress,
  kPortId,
  kTagOffset,
  kDataSource,
  kParmPrefix,
  kPlaybackSpeed,
  kFaultScript,
  kStatsFile,
  kTransfers,
  kDuration,
  kBind,
  kSignals,
  kValueLog,
  kValueLogParams,
  kPlaybackLoop,
  kPlaybackStart,
  kPlaybackMaxGap,
  kPlaybackInfo,
  kConnections,
  kMetricsPort,
  kMetricsBind,
};

struct OptionEntry {
  Option option;
  const char* name;
  int values;         // arguments that follow it
  const char* usage;  // the values as the help shows them
  const char* help;   // what it does, and its default
};

// In the order in which an argument is compared with them.
constexpr OptionEntry kOptions[] = {
    {Option::kOutputDir, "/OutputDir", 1, "FOLDER",
     "where the configuration and the parameter list are written (YEBFiles)"},
    {Option::kSourceType, "/SourceType", 1, "Custom|NEP", "the data source type (Custom)"},
    {Option::kConfigParmMode, "/ConfigParmMode", 1, "CONFIG",
     "stream the parameters of an existing configuration (Custom only)"},
    {Option::kConfigPerfMode, "/ConfigPerfMode", 1, "CONFIG",
     "as many parameters at each rate as CONFIG has"},
    {Option::kParmInfo, "/ParmInfo", 1, "FILE",
     "the parameter information file, lines of count,rate (parmInfo.txt)"},
    {Option::kPacketRate, "/PacketRate", 1, "20|10|5",
     "the packet period in ms: 50, 100 or 200 packets per second (20)"},
    {Option::kTimeJump, "/TimeJump", 0, "",
     "Custom: every 10th cycle the data time jumps 15 s ahead"},
    {Option::kTimeGap, "/TimeGap", 0, "",
     "Custom: the data time doubles when its text holds \"5:\""},
    {Option::kPlayback, "/Playback", 2, "KestCustom FILE",
     "replay a recorded data file instead of synthesising packets"},
    {Option::kSuperStress, "/SuperStress", 0, "",
     "sample every parameter in more packets (NEP: steps of 2)"},
    {Option::kPortId, "/PortId", 1, "PORT",
     "the TCP port to listen on, 1 to 65535, or 0 for a free one (49000)"},
    {Option::kTagOffset, "/TagOffset", 1, "N", "added to every parameter's tag (0)"},
    {Option::kDataSource, "/DataSource", 1, "N", "the data source number in the PRN list (0)"},
    {Option::kParmPrefix, "/ParmPrefix", 1, "TEXT", "the parameter name prefix (S01_)"},
    {Option::kPlaybackSpeed, "/PlaybackSpeed", 1, "F",
     "replay F times faster, above 0 and at most 1000 (1)"},
    {Option::kFaultScript, "/FaultScript", 1, "FILE",
     "faults to inject into every transfer (none)"},
    {Option::kStatsFile, "/StatsFile", 1, "FILE",
     "append one JSON line per connection, cycle and end (none)"},
    {Option::kTransfers, "/Transfers", 1, "N", "end after N transfers, not in playback (never)"},
    {Option::kDuration, "/Duration", 1, "SECONDS",
     "end this long after the first connection, not in playback (never)"},
    {Option::kBind, "/Bind", 1, "ADDRESS", "listen on this IPv4 address only (every interface)"},
    {Option::kSignals, "/Signals", 1, "FILE",
     "waveforms, limits and edge values in place of counters (none)"},
    {Option::kValueLog, "/ValueLog", 1, "FILE",
     "append a CSV line per sample sent of /ValueLogParams (none)"},
    {Option::kValueLogParams, "/ValueLogParams", 1, "SELECTOR",
     "the parameters /ValueLog records: *, NAME, rate=R, #A-B"},
    {Option::kPlaybackLoop, "/PlaybackLoop", 1, "N",
     "replay the file N times, 0 for ever, the pace running on (1)"},
    {Option::kPlaybackStart, "/PlaybackStart", 1, "S",
     "begin S seconds after the first record's stamp (0)"},
    {Option::kPlaybackMaxGap, "/PlaybackMaxGap", 1, "MS",
     "a longer gap is a jump, waited as min(1000, MS) ms; 1 to 3600000 (60000)"},
    {Option::kPlaybackInfo, "/PlaybackInfo", 0, "",
     "summarise the playback file and its replay time, then end"},
    {Option::kConnections, "/Connections", 1, "N",
     "serve up to N connections at once, 1 to 16, each the same stream; playback serves one (1)"},
    {Option::kMetricsPort, "/MetricsPort", 1, "PORT",
     "serve Prometheus metrics at http://127.0.0.1:PORT/metrics (none)"},
    {Option::kMetricsBind, "/MetricsBind", 1, "ADDRESS",
     "the IPv4 address the metrics are served on (127.0.0.1)"},
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

Status Refuse(std::string line) { return Status::InvalidArgument("** Error - " + std::move(line)); }

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

// Acts on one option whose values are present.
Status Apply(const OptionEntry& entry, const char* const* values, RunSettings& settings,
             std::string& warnings) {
  const char* value = entry.values > 0 ? values[0] : "";
  switch (entry.option) {
    case Option::kOutputDir:
      return TakeText(value, kMaxPathText, entry.name, settings.outputDir);
    case Option::kSourceType:
      if (EqualIgnoringCase(value, "Custom")) {
        settings.sourceType = packet::kSourceCustom;
      } else if (EqualIgnoringCase(value, "NEP")) {
        settings.sourceType = packet::kSourceNep;
      } else {
        return Refuse("/SourceType " + std::string(value) + ": neither Custom nor NEP");
      }
      return TakeText(value, kMaxPathText, entry.name, settings.sourceTypeText);
    case Option::kConfigParmMode:
      settings.parmModeFlag = 1;
      return TakeText(value, kMaxPathText, entry.name, settings.configFilePath);
    case Option::kConfigPerfMode:
      settings.perfModeFlag = 1;
      return TakeText(value, kMaxPathText, entry.name, settings.configFilePath);
    case Option::kParmInfo:
      return TakeText(value, kMaxPathText, entry.name, settings.parmInfoFileName);
    case Option::kPacketRate: {
      int32_t period = 0;
      if (Status s = TakeNumber(value, kInt32Low, kInt32High, entry.name, period); !s.ok()) {
        return s;
      }
      if (period != 20 && period != 10 && period != 5) {
        warnings += "** Warning - /PacketRate " + std::string(value) +
                    " is not 20, 10 or 5; 20 (50 packets per second) is used\n";
      }
      settings.packetRate = PacketRateForPeriod(period);
      return Status::Ok();
    }
    case Option::kTimeJump:
      settings.timeJumpFlag = 1;
      return Status::Ok();
    case Option::kTimeGap:
      settings.timeGapFlag = 1;
      return Status::Ok();
    case Option::kPlayback:
      if (!EqualIgnoringCase(value, "KestCustom")) {
        return Refuse("/Playback " + std::string(value) +
                      ": the playback type must be KestCustom, then the file");
      }
      settings.playbackFlag = 1;
      return TakeText(values[1], kMaxPlaybackPathText, entry.name, settings.playbackFilePath);
    case Option::kSuperStress:
      settings.superStressFlag = 1;
      return Status::Ok();
    case Option::kPortId:
      // The socket takes 16 bits; a larger port would be cut to another
      // (110536 listens on 45000) while every message shows the number given.
      // 0 asks the system for a free port; the messages then show the one given.
      return TakeNumber(value, 0, 65535, entry.name, settings.port);
    case Option::kTagOffset:
      return TakeNumber(value, kInt32Low, kInt32High, entry.name, settings.tagOffset);
    case Option::kDataSource:
      return TakeNumber(value, kInt32Low, kInt32High, entry.name, settings.dataSourceNumber);
    case Option::kParmPrefix:
      return TakeText(value, kMaxPrefixText, entry.name, settings.parmPrefix);
    case Option::kPlaybackSpeed:
      if (!ReadDecimal(value, false, kMaxPlaybackSpeed, settings.playbackSpeed)) {
        return Refuse("/PlaybackSpeed needs a number above 0 and at most 1000, not \"" +
                      std::string(value) + "\"");
      }
      return Status::Ok();
    case Option::kFaultScript:
      return TakeText(value, kMaxPathText, entry.name, settings.faultScriptPath);
    case Option::kStatsFile:
      return TakeText(value, kMaxPathText, entry.name, settings.statsFilePath);
    case Option::kTransfers: {
      int32_t transfers = 0;
      if (Status s = TakeNumber(value, 1, kInt32High, entry.name, transfers); !s.ok()) return s;
      settings.transfers = transfers;
      return Status::Ok();
    }
    case Option::kDuration:
      if (!ReadDecimal(value, false, kMaxDurationSeconds, settings.durationSeconds)) {
        return Refuse("/Duration " + std::string(value) +
                      ": not a number of seconds above 0 and at most 1000000000");
      }
      return Status::Ok();
    case Option::kBind:
      if (!platform::ParseIpv4(value, settings.bindIp)) {
        return Refuse("/Bind " + std::string(value) + ": not an IPv4 address such as 127.0.0.1");
      }
      settings.bindAddress = value;
      return Status::Ok();
    case Option::kSignals:
      return TakeText(value, kMaxPathText, entry.name, settings.signalsPath);
    case Option::kValueLog:
      return TakeText(value, kMaxPathText, entry.name, settings.valueLogPath);
    case Option::kValueLogParams:
      return TakeText(value, kMaxPathText, entry.name, settings.valueLogParams);
    case Option::kPlaybackLoop:
    case Option::kPlaybackMaxGap: {
      const bool loop = entry.option == Option::kPlaybackLoop;
      int32_t number = 0;
      Status s = loop ? TakeNumber(value, 0, 1'000'000'000, entry.name, number)
                      : TakeNumber(value, 1, 3'600'000, entry.name, number);
      if (!s.ok()) return s;
      (loop ? settings.playbackLoops : settings.playbackMaxGapMs) = number;
      settings.playbackScan = true;
      return Status::Ok();
    }
    case Option::kPlaybackStart:
      if (!ReadDecimal(value, true, kMaxPlaybackStartSeconds, settings.playbackStartSeconds)) {
        return Refuse("/PlaybackStart needs seconds from 0 to 429496, not \"" + std::string(value) +
                      "\"");
      }
      settings.playbackScan = true;
      return Status::Ok();
    case Option::kPlaybackInfo:
      settings.playbackInfo = true;
      settings.playbackScan = true;
      return Status::Ok();
    case Option::kConnections:
      return TakeNumber(value, 1, kMaxConnections, entry.name, settings.connections);
    case Option::kMetricsPort:
      return TakeNumber(value, 1, 65535, entry.name, settings.metricsPort);
    case Option::kMetricsBind:
      if (!platform::ParseIpv4(value, settings.metricsBindIp)) {
        return Refuse("/MetricsBind " + std::string(value) +
                      ": not an IPv4 address such as 127.0.0.1");
      }
      settings.metricsBind = value;
      return Status::Ok();
  }
  return Status::Ok();
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
  // The help and version words win wherever they stand, so that a command
  // line being put together can always be asked about.
  for (int i = 1; i < argc; ++i) {
    if (IsOneOf(argv[i], kHelpWords)) {
      result.action = CommandLineResult::Action::kHelp;
      return result;
    }
    if (IsOneOf(argv[i], kVersionWords)) result.action = CommandLineResult::Action::kVersion;
  }
  if (result.action != CommandLineResult::Action::kRun) return result;

  int valuesAhead = 0;  // how many of the next arguments are an option's values
  for (int i = 0; i < argc; ++i) {
    const bool isValue = valuesAhead > 0;
    if (isValue) --valuesAhead;
    const OptionEntry* entry = MatchOption(argv[i]);
    if (entry == nullptr) {
      if (i > 0 && !isValue) {
        result.status = UnknownWord(argv[i]);
        return result;
      }
      continue;
    }
    if (entry->values > valuesAhead) valuesAhead = entry->values;
    if (argc - 1 - i < entry->values) {
      result.status =
          Refuse("The option " + std::string(entry->name) + " needs " +
                 (entry->values == 1 ? "a value" : std::to_string(entry->values) + " values"));
      return result;
    }
    result.status = Apply(*entry, argv + i + 1, settings, result.warnings);
    if (!result.ok()) return result;
  }
  if (settings.valueLogPath.empty() != settings.valueLogParams.empty()) {
    result.status =
        Refuse(settings.valueLogPath.empty()
                   ? "/ValueLogParams needs /ValueLog FILE"
                   : "/ValueLog needs /ValueLogParams SELECTOR (*, NAME, rate=R, #A-B)");
  }
  return result;
}

}  // namespace driver
