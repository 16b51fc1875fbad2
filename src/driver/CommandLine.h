// Reads the command line into the run settings.
//
// Every argument, the program name included, is compared with the option
// names in table order, case-insensitively and as a whole word; the first
// match acts and anything else is ignored. An option's value is the argument
// after it (two for /Playback), and values are not skipped: a value that
// spells an option also acts as one on its own turn. Numbers are decimal,
// with the lenient rules of packet/DecimalText.h.
//
// Warned about, one line each, and otherwise read as before: a word that
// begins with '/', is no option and no option's value (a typo such as
// /PacketRat), a /PacketRate other than 20, 10 or 5, and a /SourceType other
// than Custom or NEP; each line names the word and what is used instead.
//
// Refused, with one line naming the option: an option that needs a value
// but stands last, a text value over its limit, and a port outside 1 to
// 65535 (the socket would use its low 16 bits, another port than shown).
//
// /PlaybackSpeed F divides every playback wait by F, a decimal above 0 and
// at most kMaxPlaybackSpeed; anything else is refused.
//
// /StatsFile PATH names the statistics file (see StatsFile.h).
//
// /FaultScript FILE names a script of faults to inject into every transfer
// (driver/FaultInjector.h); the run sequence reads it before streaming.
//
// Thread safety: pure apart from writing `settings`.
#pragma once

#include <string>

#include "packet/RunSettings.h"

namespace driver {

inline constexpr double kMaxPlaybackSpeed = 1000.0;

struct CommandLineResult {
  bool ok = true;
  std::string error;     // one console line, ending in "\n", when !ok
  std::string warnings;  // one console line per word ignored or defaulted
};

CommandLineResult ParseCommandLine(int argc, const char* const* argv,
                                   packet::RunSettings& settings);

// The packet rate for a /PacketRate value (a period in milliseconds).
int32_t PacketRateForPeriod(int32_t periodMs);

}  // namespace driver
