#include "artefacts/NepXmlFile.h"

#include "artefacts/ListFileOutput.h"
#include "platform/TextOut.h"

namespace artefacts {
namespace {

constexpr char kHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<FullList xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""
    " xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\""
    " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
    " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
    " xmlns:NEPpa=\"http://tempuri.org/NEPpa\""
    " xsi:type=\"NEPpa:FullList\">\r\n"
    "<parameter-attributes xsi:type=\"NEPpa:Full\">\r\n"
    " <parameter xsi:type=\"xsd:string\"><![CDATA[ZARN_TIME]]></parameter>\r\n"
    " <parameter-type>4</parameter-type>\r\n"
    " <stream xsi:type=\"xsd:string\"><![CDATA[time]]></stream>\r\n"
    " <sps>10000</sps>\r\n"
    " <units-of-measure xsi:type=\"xsd:string\"><![CDATA[Seconds]]></units-of-measure>\r\n"
    " <tag-number>1</tag-number>\r\n"
    "</parameter-attributes>\r\n";

constexpr char kParameterBlock[] =
    "<parameter-attributes xsi:type=\"NEPpa:Full\">\r\n"
    " <parameter xsi:type=\"xsd:string\"><![CDATA[Parm%d]]></parameter>\r\n"
    " <stream xsi:type=\"xsd:string\"><![CDATA[PSO_TM1]]></stream>\r\n"
    " <parameter-type>2</parameter-type>\r\n"
    " <sps>%f</sps>\r\n"
    " <tag-number>%d</tag-number>\r\n"
    " <parameter-class xsi:type=\"xsd:string\"><![CDATA[62]]></parameter-class>\r\n"
    "</parameter-attributes>\r\n";

}  // namespace

std::string NepXmlText(const ListSettings& settings, const packet::ParmTable& table,
                       LoadSummary* summary) {
  std::string text = kHead;
  text.reserve(text.size() + static_cast<size_t>(table.parmCount) * 420);
  LoadSummary result;
  result.totalParameters = table.parmCount + 1;
  double sum = 0.0;
  for (int32_t i = 0; i < table.parmCount; ++i) {
    const packet::ParmRecord& record = table.records[i];
    platform::AppendFormat(text, kParameterBlock, i + 1, record.sampleRate, record.nepTag);
    sum += record.sampleRate;
    if (record.sampleRate > result.largestRate) result.largestRate = record.sampleRate;
    if (record.sampleRate < result.smallestRate) result.smallestRate = record.sampleRate;
  }
  text += "</FullList>\r\n";
  result.samplesPerSecond = sum + packet::timeWordRate;
  // 8 bytes per sample, 12 per time entry, and the length word per packet.
  result.bytesPerSecond =
      8.0 * sum + 12.0 * packet::timeWordRate + 4.0 * settings.format.packetRate;
  if (summary) *summary = result;
  return text;
}

bool BuildNepXmlFile(const ListSettings& settings, const packet::ParmTable& table,
                     const packet::PacketState& state, platform::TextOut& out) {
  LoadSummary summary;
  const std::string text = NepXmlText(settings, table, &summary);
  if (!WriteListFile(OutputPath(settings.outputDir, kNepXmlFileName), text)) return false;
  PrintLoadSummary(out, summary, settings, state);
  return true;
}

}  // namespace artefacts
