// The parameter set from an existing configuration: "parmInfo2.txt" from the
// ParameterDefaults table of a configuration file (plain or zipped), for the
// parameter information file reader to read instead of "parmInfo.txt".
//
// Perf mode reproduces the load: one "count,rate" line per distinct legal
// rate, in the order each rate first occurs, counting TPP and Derived rows
// alike. Parm mode reproduces the parameters: one "1,rate" line per TPP row
// in table order, and the PRN list of those rows with their own names, rates
// and type codes.
//
// A rate is legal when it reads as a number above 0 that still shows as
// above 0 with six decimals: the files carry rates as "%f" text, and a rate
// that printed as "0.000000" would be dropped by the reader and shift every
// later record one tag below its PRN line. Perf mode counts illegal rates in
// a note; parm mode gives those rows the rate 10.0.
//
// Parm mode's PRN list carries the tags the packets carry: the time words at
// tag offset + 1 and + 2, the rows from tag offset + 3 on (16-bit, wrapping
// as the packets do).
//
// A configuration that cannot be loaded, has no ParameterDefaults table or
// no rows in it, and any file that cannot be written whole fail the
// operation; what failed goes to the debug output. Files are written whole
// through an atomic replace, so a failure never leaves half a file.
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>
#include <string>

namespace artefacts {

inline constexpr char kParmInfo2FileName[] = "parmInfo2.txt";

// Writes the perf-mode parameter information file `parmInfoPath` from the
// configuration `configPath`.
bool BuildParmSetPerfModeFrom(const std::string& configPath, const std::string& parmInfoPath);

// Writes the parm-mode parameter information file and PRN list.
bool BuildParmSetParmModeFrom(const std::string& configPath, int32_t tagOffset,
                              const std::string& parmInfoPath, const std::string& prnPath);

}  // namespace artefacts
