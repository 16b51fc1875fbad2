// The PRN parameter list "zarnYEB.prn": which tag carries which parameter
// of the Custom source.
//
// One line per data word, CR LF line ends: the two time words, then one line
// per record in table order ("<tag> <prefix>Parm<n> <rate> 2"). Tags are
// written as the packets carry them, in 16 bits. BuildPrnFile writes the
// file into the output folder and prints the load summary.
//
// Thread safety: main thread only.
#pragma once

#include <string>

#include "artefacts/ListFileOutput.h"
#include "packet/PacketState.h"
#include "packet/ParmTable.h"

namespace platform {
class TextOut;
}

namespace artefacts {

inline constexpr char kPrnFileName[] = "zarnYEB.prn";

// The file's text for the given table; fills `summary` (pure).
std::string PrnText(const ListSettings& settings, const packet::ParmTable& table,
                    LoadSummary* summary);

// Writes the list for `table` into the output folder and prints the load
// summary with the packet size of `state`; false when the file cannot be
// written whole (nothing is printed then).
bool BuildPrnFile(const ListSettings& settings, const packet::ParmTable& table,
                  const packet::PacketState& state, platform::TextOut& out);

}  // namespace artefacts
