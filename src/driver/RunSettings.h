// The run settings: what the command line asked for.
//
// One process-wide instance, Settings(), filled once by the command-line
// reader before anything else runs and read by the run sequence and the
// streaming loop, which hand the packet and artefacts layers only the
// values they need (PacketFormatOf, ListSettingsOf). It is a plain value so
// that tests can set fields directly and start over with ResetRunSettings().
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "artefacts/ListFileOutput.h"
#include "packet/PacketFormat.h"
#include "platform/System.h"

namespace driver {

// Longest text values the command line accepts, in characters.
inline constexpr size_t kMaxPathText = 1039;
inline constexpr size_t kMaxPlaybackPathText = 2599;
inline constexpr size_t kMaxPrefixText = 259;

struct RunSettings {
  std::string outputDir = platform::JoinPath(".", "YEBFiles");
  std::string sourceTypeText = "Custom";
  int32_t sourceType = packet::kSourceCustom;
  std::string configFilePath;
  int32_t parmModeFlag = 0;
  int32_t perfModeFlag = 0;
  std::string parmInfoFileName = "parmInfo.txt";
  int32_t packetRate = 50;      // packets per second: 50, 100 or 200
  int32_t packetPeriodMs = 20;  // 1000 / packetRate
  int32_t timeJumpFlag = 0;
  int32_t timeGapFlag = 0;
  int32_t playbackFlag = 0;
  std::string playbackFilePath;
  double playbackSpeed = 1.0;         // /PlaybackSpeed: every playback wait is divided by it
  int64_t playbackLoops = 1;          // /PlaybackLoop: passes over the file, 0 for ever
  double playbackStartSeconds = 0.0;  // /PlaybackStart: begin this far into the recording
  int64_t playbackMaxGapMs = 60'000;  // /PlaybackMaxGap: a longer gap is a jump
  bool playbackInfo = false;          // /PlaybackInfo: summarise the file and end
  // Set by any of the four options above: the file is scanned at the start
  // and progress is shown; without them playback runs as it always has.
  bool playbackScan = false;
  int32_t superStressFlag = 0;
  int32_t port = 49000;  // the socket listens on the low 16 bits
  int32_t tagOffset = 0;
  int32_t dataSourceNumber = 0;
  std::string parmPrefix = "S01_";
  std::string faultScriptPath;   // /FaultScript: empty for none
  std::string statsFilePath;     // /StatsFile: JSON lines of every transfer; empty for none
  int64_t transfers = 0;         // /Transfers: end after this many; 0 for no end
  double durationSeconds = 0.0;  // /Duration: end this long after the first connection; 0: never
  std::string bindAddress;       // /Bind: the IPv4 address listened on; empty for every one
  uint32_t bindIp = 0;           // the same, in host order; 0 for every interface
  std::string signalsPath;       // /Signals: empty for counters only
  std::string valueLogPath;      // /ValueLog: empty for none
  std::string valueLogParams;    // /ValueLogParams: the selector of the logged parameters
  int32_t connections = 1;       // /Connections: connections served at once, 1 to 16
  int32_t metricsPort = -1;      // /MetricsPort: serve /metrics there; -1 for none
  std::string metricsBind = "127.0.0.1";  // /MetricsBind: the address it is served on
  uint32_t metricsBindIp = 0x7f000001;    // the same, in host order
};

RunSettings& Settings();
void ResetRunSettings();

// The packet format the settings ask for.
packet::PacketFormat PacketFormatOf(const RunSettings& settings);

// What the parameter lists read of the settings.
artefacts::ListSettings ListSettingsOf(const RunSettings& settings);

}  // namespace driver
