// What the PRN and NEP XML list writers share: writing a list file whole,
// and the load summary they print.
//
// A list is formed in memory and written in one go through an atomic
// replace, so a failed write (a full disk) fails the step and never leaves a
// truncated list under the real name.
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "packet/PacketFormat.h"
#include "packet/PacketState.h"

namespace platform {
class TextOut;
}

namespace artefacts {

// What the list writers read of the run: the driver fills it from its
// settings.
struct ListSettings {
  packet::PacketFormat format;   // the source type, packet rate and tag offset
  int32_t packetPeriodMs = 20;   // shown in the load summary
  int32_t dataSourceNumber = 0;  // above 0: the PRN time words carry it in their names
  std::string parmPrefix;        // starts every Custom parameter name
  std::string outputDir = ".";   // where the lists are written
};

// The output folder joined with a file name by the platform's separator.
std::string OutputPath(const std::string& outputDir, const char* fileName);

// A parameter's name as the run's parameter list writes it, for the record
// at table index `index` (from 0): PREFIXParmN for the Custom source, N the
// tag offset + index + 1 in 32-bit modular arithmetic; ParmN, N = index + 1,
// for NEP.
std::string ListedParameterName(const ListSettings& settings, int32_t index);

// Writes `text` as the whole content of `path`; false on any failure, the
// old file (if any) then left as it was.
bool WriteListFile(const std::string& path, const std::string& text);

struct LoadSummary {
  int32_t totalParameters = 0;  // time parameters included
  double samplesPerSecond = 0.0;
  double bytesPerSecond = 0.0;
  double largestRate = -1.0;
  double smallestRate = 1000000000.0;
};

// Prints the eight summary lines after a list was written.
void PrintLoadSummary(platform::TextOut& out, const LoadSummary& summary,
                      const ListSettings& settings, const packet::PacketState& state);

}  // namespace artefacts
