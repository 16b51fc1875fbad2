// The NEP XML parameter list "NEP.xml": the parameters of the NEP source.
//
// A "FullList" of "parameter-attributes" blocks, one for the time parameter
// (tag 1) and one per record in table order, CR LF line ends, plain ASCII.
// BuildNepXmlFile writes it into the output folder and prints the load
// summary with the NEP packet's arithmetic.
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

inline constexpr char kNepXmlFileName[] = "NEP.xml";

// The file's text for the given table; fills `summary` (pure).
std::string NepXmlText(const ListSettings& settings, const packet::ParmTable& table,
                       LoadSummary* summary);

// Writes the list for `table` into the output folder and prints the load
// summary with the packet size of `state`; false when the file cannot be
// written whole (nothing is printed then).
bool BuildNepXmlFile(const ListSettings& settings, const packet::ParmTable& table,
                     const packet::PacketState& state, platform::TextOut& out);

}  // namespace artefacts
