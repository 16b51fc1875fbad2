// The configuration file builder: "zarnYEB.config", the analysis system's
// configuration that declares one parameter per record of the parameter
// table.
//
// The build writes the default configuration text to the target, loads it
// into a config database, adds one AnalysisWindows, Desktops, Users and
// ParameterDefaultsState row and one ParameterDefaults row per record
// through update statements of the query engine, commits and saves over the
// file it loaded (through the temporary-file ring of two).
//
// Every step is checked: a statement the engine rejects, a failed commit or
// a failed write, flush or close fails the build, so a configuration that
// lacks parameters is never reported as built. What failed goes to the
// debug output ("BuildConfigFile: ..."); the console message is the run
// sequence's. After a failure the target holds what was last written whole:
// the default text once that has been written, else its old content.
//
// Thread safety: main thread only (the process-wide tables and the id
// generator are shared).
#pragma once

#include <cstdint>
#include <string>

#include "packet/ParmTable.h"

namespace artefacts {

inline constexpr char kConfigFileName[] = "zarnYEB.config";

// Builds the configuration at `path` for `table`, starting from
// `defaultText` (the default configuration text in the program; tests pass
// others to reach the failure paths). True when built and saved.
bool BuildConfigFileAt(const std::string& path, const std::string& defaultText,
                       const packet::ParmTable& table, int32_t tagOffset);

// Builds "zarnYEB.config" in `outputDir` from the program's default text.
bool BuildConfigFile(const std::string& outputDir, const packet::ParmTable& table,
                     int32_t tagOffset);

}  // namespace artefacts
