// Reads the command line into the run settings.
//
// Every argument, the program name included, is compared with the option
// names in table order, case-insensitively and as a whole word; the first
// match acts and anything else is ignored. An option's value is the argument
// after it (two for /Playback), and values are not skipped: a value that
// spells an option also acts as one on its own turn. Numbers are decimal,
// with the lenient rules of packet/DecimalText.h.
//
// Refused, with one line naming the option: an option that needs a value
// but stands last, a text value over its limit, and a port whose low 16 bits
// are 0 (the system would pick a port no YEB can find).
//
// /PlaybackSpeed F divides every playback wait by F, a decimal above 0 and
// at most kMaxPlaybackSpeed; anything else is refused.
//
// Thread safety: pure apart from writing `settings`.
#pragma once

#include <string>

#include "packet/RunSettings.h"

namespace driver {

inline constexpr double kMaxPlaybackSpeed = 1000.0;

struct CommandLineResult {
  bool ok = true;
  std::string error;  // one console line, ending in "\n", when !ok
};

CommandLineResult ParseCommandLine(int argc, const char* const* argv,
                                   packet::RunSettings& settings);

// The packet rate for a /PacketRate value (a period in milliseconds).
int32_t PacketRateForPeriod(int32_t periodMs);

}  // namespace driver
