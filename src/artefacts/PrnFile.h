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

#include "packet/PacketState.h"
#include "packet/ParmTable.h"
#include "packet/RunSettings.h"

namespace platform {
class TextOut;
}

namespace artefacts {

inline constexpr char kPrnFileName[] = "zarnYEB.prn";

struct LoadSummary;

// The file's text for the given table; fills `summary` (pure).
std::string PrnText(const packet::RunSettings& settings, const packet::ParmTable& table,
                    LoadSummary* summary);

// Writes the list for the process-wide state; false when the file cannot be
// written whole (nothing is printed then).
bool BuildPrnFile(platform::TextOut& out);

}  // namespace artefacts
