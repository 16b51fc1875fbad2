#include "driver/RunSettings.h"

namespace driver {

packet::PacketFormat PacketFormatOf(const RunSettings& settings) {
  packet::PacketFormat format;
  format.sourceType = settings.sourceType;
  format.packetRate = settings.packetRate;
  format.tagOffset = settings.tagOffset;
  format.superStress = settings.superStressFlag != 0;
  return format;
}

artefacts::ListSettings ListSettingsOf(const RunSettings& settings) {
  artefacts::ListSettings list;
  list.format = PacketFormatOf(settings);
  list.packetPeriodMs = settings.packetPeriodMs;
  list.dataSourceNumber = settings.dataSourceNumber;
  list.parmPrefix = settings.parmPrefix;
  list.outputDir = settings.outputDir;
  return list;
}

}  // namespace driver
