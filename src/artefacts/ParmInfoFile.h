// The parameter information file reader: fills the parameter table.
//
// Each line is empty, a comment ("//" after leading blanks) or "count,rate":
// that many parameters sampling at that rate. The reader appends one record
// per parameter in file order, gives each the next tag of the source type,
// classifies it as fast or slow against the packet rate, and sums the packet
// size. Lines whose rate is not above 0 are skipped and a count of 0 or less
// adds nothing; each such line (not blank, not a comment) is named in the
// outcome's notices with the reason, the first kMaxSkipNotices of them, then
// a count of the rest, so a typo does not silently drop parameters.
//
// The table's capacity and the 32-bit packet size are limits: a file that
// asks for more is refused with a message naming the line and the limit;
// nothing is written past the table and no size wraps. A line longer than
// kMaxParmInfoLine bytes, a read error and a file that is not a regular file
// are refused too, and a termination request stops the reading. LF and
// CR LF line ends are both accepted.
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

#include "packet/PacketFormat.h"
#include "packet/PacketState.h"
#include "packet/ParmTable.h"
#include "platform/Status.h"

namespace artefacts {

inline constexpr size_t kMaxParmInfoLine = size_t{64} << 10;
inline constexpr int kMaxSkipNotices = 20;

struct ParmInfoLine {
  enum class Kind { kIgnored, kSkipped, kAccepted };
  Kind kind = Kind::kIgnored;
  int32_t count = 0;
  double rate = 0.0;
  // The two fields as written (views into the parsed line).
  std::string_view countText;
  std::string_view rateText;
};

// Reads one line by the rules above (pure).
ParmInfoLine ParseParmInfoLine(std::string_view line);

struct ParmInfoOutcome {
  enum class Status {
    kOk,
    kCannotOpen,      // the file could not be opened
    kNoMemory,        // a send buffer of the packet size cannot be had
    kTooManyRecords,  // a line would pass the table's capacity
    kPacketTooLarge,  // a line would pass the 32-bit packet size
    kNotRegular,      // the name is a folder, a device or a pipe
    kLineTooLong,     // a line passes kMaxParmInfoLine bytes
    kReadError,       // reading failed before the end of the file
    kInterrupted,     // the process was asked to end while reading
    kNoParameters,    // the whole file gives no parameter
  };
  Status status = Status::kOk;
  int64_t lineNumber = 0;  // the refused line, counted from 1
  std::string message;     // one line for the console when refused by a limit
  std::string notices;     // "- Line %d skipped: ...\n" lines, in file order
  // Why the file could not be opened (kCannotOpen, kNotRegular) or its
  // packet cannot be had (kNoMemory).
  platform::Status reason;
  bool ok() const { return status == Status::kOk; }
};

// Reads `in` into `table` and `state` for packets of `format`, as
// ProcessParmInfoFile does with the file. `fileName` only names the file in
// messages.
ParmInfoOutcome ReadParmInfo(std::istream& in, const std::string& fileName,
                             const packet::PacketFormat& format, packet::ParmTable& table,
                             packet::PacketState& state);

// Reads the file `fileName` into `table` and `state`.
ParmInfoOutcome ProcessParmInfoFile(const std::string& fileName, const packet::PacketFormat& format,
                                    packet::ParmTable& table, packet::PacketState& state);

}  // namespace artefacts
