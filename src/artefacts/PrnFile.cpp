#include "artefacts/PrnFile.h"

#include <cstdint>

#include "artefacts/ListFileOutput.h"
#include "platform/TextOut.h"

namespace artefacts {

std::string PrnText(const ListSettings& settings, const packet::ParmTable& table,
                    LoadSummary* summary) {
  std::string text;
  text.reserve(64 + static_cast<size_t>(table.parmCount) * 40);
  // Tag and name arithmetic is modular, as in the packets: an offset near
  // the top of the range wraps instead of overflowing.
  const uint32_t offset = static_cast<uint32_t>(settings.format.tagOffset);
  const unsigned dayTag = static_cast<uint16_t>(offset + 1);
  const unsigned timeTag = static_cast<uint16_t>(offset + 2);
  if (settings.dataSourceNumber > 0) {
    platform::AppendFormat(text, "%u TIME$_DAY_%d %f 1 SystemParamType = MajorTime\r\n", dayTag,
                           settings.dataSourceNumber, packet::dayWordRate);
    platform::AppendFormat(text, "%u TIME$_MILLISEC_%d %f 1 SystemParamType = MinorTime \r\n",
                           timeTag, settings.dataSourceNumber, packet::timeWordRate);
  } else {
    platform::AppendFormat(text, "%u TIME$_DAY %f 1\r\n", dayTag, packet::dayWordRate);
    platform::AppendFormat(text, "%u TIME$_MILLISEC %f 1\r\n", timeTag, packet::timeWordRate);
  }

  LoadSummary result;
  result.totalParameters = table.parmCount + 2;
  double aggregateRate = packet::timeWordRate + packet::dayWordRate;
  for (int32_t i = 0; i < table.parmCount; ++i) {
    const packet::ParmRecord& record = table.records[i];
    const int32_t nameNumber = static_cast<int32_t>(offset + static_cast<uint32_t>(i) + 1);
    platform::AppendFormat(text, "%u %sParm%d %f 2\r\n", unsigned{record.tag},
                           settings.parmPrefix.c_str(), nameNumber, record.sampleRate);
    aggregateRate += record.sampleRate;
    if (record.sampleRate > result.largestRate) result.largestRate = record.sampleRate;
    if (record.sampleRate < result.smallestRate) result.smallestRate = record.sampleRate;
  }
  result.samplesPerSecond = aggregateRate;
  result.bytesPerSecond = aggregateRate * 6.0;  // six bytes per sample in a pair
  if (summary) *summary = result;
  return text;
}

bool BuildPrnFile(const ListSettings& settings, const packet::ParmTable& table,
                  const packet::PacketState& state, platform::TextOut& out) {
  LoadSummary summary;
  const std::string text = PrnText(settings, table, &summary);
  if (!WriteListFile(OutputPath(settings.outputDir, kPrnFileName), text)) return false;
  PrintLoadSummary(out, summary, settings, state);
  return true;
}

}  // namespace artefacts
