// Reads the command line into the run settings.
//
// Every argument, the program name included, is compared with the option
// names in table order, case-insensitively and as a whole word; the first
// match acts. An option's value is the argument after it (two for
// /Playback), and values are not skipped: a value that spells an option also
// acts as one on its own turn.
//
// The reader is strict, because a word it passed over used to run the tool
// on its defaults (a typo in /PortId listened on another port): a word that
// is neither an option nor an option's value ends the run with status 1,
// naming it and the nearest option; a number that is not a whole number in
// its range, a /Playback type other than KestCustom, a /SourceType other
// than Custom or NEP, a text value over its limit and an option that stands
// last without its value are refused the same way.
//
// Warned about, one line each, and otherwise read as the tool always has: a
// /PacketRate number other than 20, 10 or 5 (50 packets per second).
//
// "/?", "/help", "-h" and "--help" ask for the usage text, "/Version" and
// "--version" for the version line; either wins over everything else.
//
// Thread safety: pure apart from writing `settings`.
#pragma once

#include <string>

#include "driver/RunSettings.h"
#include "platform/Status.h"

namespace driver {

inline constexpr double kMaxPlaybackSpeed = 1000.0;

struct CommandLineResult {
  enum class Action { kRun, kHelp, kVersion };
  Action action = Action::kRun;
  // A refusal: one console line, "** Error - ..." without its line end.
  platform::Status status;
  std::string warnings;  // one console line per value defaulted, each ending in "\n"
  bool ok() const { return status.ok(); }
};

CommandLineResult ParseCommandLine(int argc, const char* const* argv, RunSettings& settings);

// Every option with its values and default, for /?.
std::string UsageText();

// The packet rate for a /PacketRate value (a period in milliseconds).
int32_t PacketRateForPeriod(int32_t periodMs);

}  // namespace driver
