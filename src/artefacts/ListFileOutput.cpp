#include "artefacts/ListFileOutput.h"

#include "platform/AtomicFile.h"
#include "platform/System.h"
#include "platform/TextOut.h"
#include "templatelib/DebugOut.h"

namespace artefacts {

std::string ListedParameterName(const ListSettings& settings, int32_t index) {
  if (settings.format.sourceType == packet::kSourceNep) return "Parm" + std::to_string(index + 1);
  const int32_t number = static_cast<int32_t>(static_cast<uint32_t>(settings.format.tagOffset) +
                                              static_cast<uint32_t>(index) + 1);
  return settings.parmPrefix + "Parm" + std::to_string(number);
}

std::string OutputPath(const std::string& outputDir, const char* fileName) {
  return platform::JoinPath(outputDir, fileName);
}

bool WriteListFile(const std::string& path, const std::string& text) {
  platform::AtomicFileWriter writer;
  if (writer.Open(path) && writer.Write(text.data(), text.size()) && writer.Commit()) return true;
  // Diagnostics, which the run shows under the step that failed.
  DebugOut("WriteListFile: %s\n", writer.error().message().c_str());
  return false;
}

void PrintLoadSummary(platform::TextOut& out, const LoadSummary& summary,
                      const ListSettings& settings, const packet::PacketState& state) {
  platform::Printf(out, "- Total Parameters(including time): %d\n", summary.totalParameters);
  platform::Printf(out, "- Aggregate Data Rate(samples/sec): %f\n", summary.samplesPerSecond);
  platform::Printf(out, "- Aggregate Data Rate(bytes/sec): %f\n", summary.bytesPerSecond);
  platform::Printf(out, "- Packet Sample Rate: %d\n", settings.format.packetRate);
  platform::Printf(out, "- Packet Rate in Ms: %d\n", settings.packetPeriodMs);
  platform::Printf(out, "- Packet Size (bytes): %d\n", state.packetBufferSize);
  platform::Printf(out, "- Largest Sample Rate: %f\n", summary.largestRate);
  platform::Printf(out, "- Smallest Sample Rate: %f\n\n", summary.smallestRate);
}

}  // namespace artefacts
