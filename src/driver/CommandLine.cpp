#include "driver/CommandLine.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "packet/DecimalText.h"

namespace driver {
namespace {

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
  kNone,
};

struct OptionEntry {
  Option option;
  const char* name;
  int values;  // arguments that follow it
};

// In the order in which an argument is compared with them.
constexpr OptionEntry kOptions[] = {
    {Option::kOutputDir, "/OutputDir", 1},
    {Option::kSourceType, "/SourceType", 1},
    {Option::kConfigParmMode, "/ConfigParmMode", 1},
    {Option::kConfigPerfMode, "/ConfigPerfMode", 1},
    {Option::kParmInfo, "/ParmInfo", 1},
    {Option::kPacketRate, "/PacketRate", 1},
    {Option::kTimeJump, "/TimeJump", 0},
    {Option::kTimeGap, "/TimeGap", 0},
    {Option::kPlayback, "/Playback", 2},
    {Option::kSuperStress, "/SuperStress", 0},
    {Option::kPortId, "/PortId", 1},
    {Option::kTagOffset, "/TagOffset", 1},
    {Option::kDataSource, "/DataSource", 1},
    {Option::kParmPrefix, "/ParmPrefix", 1},
    {Option::kPlaybackSpeed, "/PlaybackSpeed", 1},
    {Option::kFaultScript, "/FaultScript", 1},
    {Option::kStatsFile, "/StatsFile", 1},
};

// Options and their keywords are ASCII; no locale comes into it.
bool EqualIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) !=
        std::tolower(static_cast<unsigned char>(*b)))
      return false;
  }
  return *a == *b;
}

const OptionEntry* MatchOption(const char* argument) {
  for (const OptionEntry& entry : kOptions) {
    if (EqualIgnoringCase(argument, entry.name)) return &entry;
  }
  return nullptr;
}

CommandLineResult Refuse(std::string line) {
  CommandLineResult result;
  result.ok = false;
  result.error = std::move(line);
  return result;
}

// Copies a text value, refusing one over its limit.
bool TakeText(const char* value, size_t limit, const char* optionName, std::string& target,
              CommandLineResult& result) {
  std::string text(value);
  if (text.size() > limit) {
    result = Refuse("** Error - The value of " + std::string(optionName) + " is longer than " +
                    std::to_string(limit) + " characters\n");
    return false;
  }
  target = std::move(text);
  return true;
}

// A decimal above 0 and at most kMaxPlaybackSpeed, written whole.
bool ReadPlaybackSpeed(const char* value, double& speed) {
  char* end = nullptr;
  errno = 0;
  const double read = std::strtod(value, &end);
  if (end == value || *end != '\0' || errno != 0 || !std::isfinite(read)) return false;
  if (!(read > 0.0) || read > kMaxPlaybackSpeed) return false;
  speed = read;
  return true;
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

CommandLineResult ParseCommandLine(int argc, const char* const* argv,
                                   packet::RunSettings& settings) {
  CommandLineResult result;
  int valuesAhead = 0;  // how many of the next arguments are an option's values
  for (int i = 0; i < argc; ++i) {
    const bool isValue = valuesAhead > 0;
    if (isValue) --valuesAhead;
    const OptionEntry* entry = MatchOption(argv[i]);
    if (entry == nullptr) {
      if (i > 0 && !isValue && argv[i][0] == '/') {
        result.warnings += "** Warning - " + std::string(argv[i]) +
                           " matches no option and is ignored\n";
      }
      continue;
    }
    if (entry->values > valuesAhead) valuesAhead = entry->values;
    if (argc - 1 - i < entry->values) {
      return Refuse("** Error - The option " + std::string(entry->name) + " needs " +
                    (entry->values == 1 ? "a value" : std::to_string(entry->values) + " values") +
                    "\n");
    }
    const char* value = entry->values > 0 ? argv[i + 1] : "";
    switch (entry->option) {
      case Option::kOutputDir:
        if (!TakeText(value, packet::kMaxPathText, entry->name, settings.outputDir, result))
          return result;
        break;
      case Option::kSourceType:
        if (!TakeText(value, packet::kMaxPathText, entry->name, settings.sourceTypeText, result))
          return result;
        if (EqualIgnoringCase(value, "Custom")) {
          settings.sourceType = packet::kSourceCustom;
        } else if (EqualIgnoringCase(value, "NEP")) {
          settings.sourceType = packet::kSourceNep;
        } else {
          result.warnings += "** Warning - /SourceType " + std::string(value) +
                             " is neither Custom nor NEP; the source type stays " +
                             (settings.sourceType == packet::kSourceNep ? "NEP" : "Custom") +
                             "\n";
        }
        break;
      case Option::kConfigParmMode:
        if (!TakeText(value, packet::kMaxPathText, entry->name, settings.configFilePath, result))
          return result;
        settings.parmModeFlag = 1;
        break;
      case Option::kConfigPerfMode:
        if (!TakeText(value, packet::kMaxPathText, entry->name, settings.configFilePath, result))
          return result;
        settings.perfModeFlag = 1;
        break;
      case Option::kParmInfo:
        if (!TakeText(value, packet::kMaxPathText, entry->name, settings.parmInfoFileName, result))
          return result;
        break;
      case Option::kPacketRate:
      {
        const int32_t period = packet::ReadDecimalInt32(value);
        if (period != 20 && period != 10 && period != 5) {
          result.warnings += "** Warning - /PacketRate " + std::string(value) +
                             " is not 20, 10 or 5; 20 (50 packets per second) is used\n";
        }
        settings.packetRate = PacketRateForPeriod(period);
      }
        break;
      case Option::kTimeJump:
        settings.timeJumpFlag = 1;
        break;
      case Option::kTimeGap:
        settings.timeGapFlag = 1;
        break;
      case Option::kPlayback:
        settings.playbackFlag = EqualIgnoringCase(value, "KestCustom") ? 1 : 0;
        if (!TakeText(argv[i + 2], packet::kMaxPlaybackPathText, entry->name,
                      settings.playbackFilePath, result)) {
          return result;
        }
        break;
      case Option::kSuperStress:
        settings.superStressFlag = 1;
        break;
      case Option::kPortId:
        settings.port = packet::ReadDecimalInt32(value);
        break;
      case Option::kTagOffset:
        settings.tagOffset = packet::ReadDecimalInt32(value);
        break;
      case Option::kDataSource:
        settings.dataSourceNumber = packet::ReadDecimalInt32(value);
        break;
      case Option::kParmPrefix:
        if (!TakeText(value, packet::kMaxPrefixText, entry->name, settings.parmPrefix, result))
          return result;
        break;
      case Option::kPlaybackSpeed:
        if (!ReadPlaybackSpeed(value, settings.playbackSpeed)) {
          return Refuse("** Error - /PlaybackSpeed needs a number above 0 and at most 1000, not \"" +
                        std::string(value) + "\"\n");
        }
        break;
      case Option::kFaultScript:
        if (!TakeText(value, packet::kMaxPathText, entry->name, settings.faultScriptPath, result))
          return result;
        break;
      case Option::kStatsFile:
        if (!TakeText(value, packet::kMaxPathText, entry->name, settings.statsFilePath, result))
          return result;
        break;
      case Option::kNone:
        break;
    }
  }
  // The socket takes 16 bits; a port outside them would be cut to another
  // (110536 listens on 45000) while every message shows the number given.
  if (settings.port < 1 || settings.port > 65535) {
    return Refuse("** Error - /PortId " + std::to_string(settings.port) +
                  " is outside 1 to 65535\n");
  }
  return result;
}

}  // namespace driver
