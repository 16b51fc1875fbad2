#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <cstdlib>
#include <string>

#include "artefacts/ListFileOutput.h"
#include "artefacts/NepXmlFile.h"
#include "artefacts/PrnFile.h"
#include "packet/PacketState.h"
#include "packet/ParmTable.h"
#include "platform/TextOut.h"
#include "support/ChildProcess.h"

namespace {

// The program's defaults: 50 packets per second, the prefix S01_.
class ListFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.parmPrefix = "S01_";
    settings.outputDir = dir.path();
  }

  void AddRecord(double rate, uint16_t tag, int32_t nepTag) {
    packet::ParmRecord& r = table.records[table.parmCount++];
    r.sampleRate = rate;
    r.tag = tag;
    r.nepTag = nepTag;
  }

  bool BuildPrn(platform::TextOut& out) {
    return artefacts::BuildPrnFile(settings, table, state, out);
  }
  bool BuildNepXml(platform::TextOut& out) {
    return artefacts::BuildNepXmlFile(settings, table, state, out);
  }

  testsupport::TempDir dir;
  platform::StringTextOut console;
  artefacts::ListSettings settings;
  packet::ParmTable table;
  packet::PacketState state;
};

TEST_F(ListFilesTest, PrnListOfTwoParametersWithTheDefaults) {
  AddRecord(50, 3, 0);
  AddRecord(12.5, 4, 0);
  state.packetBufferSize = 1262;
  ASSERT_TRUE(BuildPrn(console));
  EXPECT_EQ(testsupport::ReadWholeFile(dir.file("zarnYEB.prn")),
            "1 TIME$_DAY 100.000000 1\r\n"
            "2 TIME$_MILLISEC 10000.000000 1\r\n"
            "3 S01_Parm1 50.000000 2\r\n"
            "4 S01_Parm2 12.500000 2\r\n");
  EXPECT_EQ(console.text(),
            "- Total Parameters(including time): 4\n"
            "- Aggregate Data Rate(samples/sec): 10162.500000\n"
            "- Aggregate Data Rate(bytes/sec): 60975.000000\n"
            "- Packet Sample Rate: 50\n"
            "- Packet Rate in Ms: 20\n"
            "- Packet Size (bytes): 1262\n"
            "- Largest Sample Rate: 50.000000\n"
            "- Smallest Sample Rate: 12.500000\n\n");
}

TEST_F(ListFilesTest, PrnTimeWordsCarryTheDataSourceNumber) {
  settings.dataSourceNumber = 3;
  std::string text = artefacts::PrnText(settings, table, nullptr);
  EXPECT_EQ(text,
            "1 TIME$_DAY_3 100.000000 1 SystemParamType = MajorTime\r\n"
            "2 TIME$_MILLISEC_3 10000.000000 1 SystemParamType = MinorTime \r\n");
}

TEST_F(ListFilesTest, PrnNamesFollowTheOffsetAndPrefixAndTagsStayIn16Bits) {
  settings.format.tagOffset = 10;
  settings.parmPrefix = "AB_";
  AddRecord(50, 13, 0);
  EXPECT_EQ(artefacts::PrnText(settings, table, nullptr),
            "11 TIME$_DAY 100.000000 1\r\n12 TIME$_MILLISEC 10000.000000 1\r\n13 AB_Parm11 "
            "50.000000 2\r\n");

  settings.format.tagOffset = 65534;
  settings.parmPrefix = "";
  table.records[0].tag = 1;
  EXPECT_EQ(artefacts::PrnText(settings, table, nullptr),
            "65535 TIME$_DAY 100.000000 1\r\n0 TIME$_MILLISEC 10000.000000 1\r\n1 Parm65535 "
            "50.000000 2\r\n");
}

TEST_F(ListFilesTest, EmptyTableSummaries) {
  artefacts::LoadSummary prn;
  artefacts::PrnText(settings, table, &prn);
  EXPECT_EQ(prn.totalParameters, 2);
  EXPECT_EQ(prn.samplesPerSecond, 10100.0);
  EXPECT_EQ(prn.bytesPerSecond, 60600.0);
  EXPECT_EQ(prn.largestRate, -1.0);
  EXPECT_EQ(prn.smallestRate, 1e9);

  artefacts::LoadSummary nep;
  artefacts::NepXmlText(settings, table, &nep);
  EXPECT_EQ(nep.totalParameters, 1);
  EXPECT_EQ(nep.samplesPerSecond, 10000.0);
  EXPECT_EQ(nep.bytesPerSecond, 120200.0);
}

TEST_F(ListFilesTest, NepXmlListWithOneParameter) {
  settings.format.sourceType = packet::kSourceNep;
  settings.format.tagOffset = 100;
  AddRecord(12.5, 0, 102);
  ASSERT_TRUE(BuildNepXml(console));
  EXPECT_EQ(testsupport::ReadWholeFile(dir.file("NEP.xml")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<FullList xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
            "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\" "
            "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
            "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
            "xmlns:NEPpa=\"http://tempuri.org/NEPpa\" xsi:type=\"NEPpa:FullList\">\r\n"
            "<parameter-attributes xsi:type=\"NEPpa:Full\">\r\n"
            " <parameter xsi:type=\"xsd:string\"><![CDATA[ZARN_TIME]]></parameter>\r\n"
            " <parameter-type>4</parameter-type>\r\n"
            " <stream xsi:type=\"xsd:string\"><![CDATA[time]]></stream>\r\n"
            " <sps>10000</sps>\r\n"
            " <units-of-measure xsi:type=\"xsd:string\"><![CDATA[Seconds]]></units-of-measure>\r\n"
            " <tag-number>1</tag-number>\r\n"
            "</parameter-attributes>\r\n"
            "<parameter-attributes xsi:type=\"NEPpa:Full\">\r\n"
            " <parameter xsi:type=\"xsd:string\"><![CDATA[Parm1]]></parameter>\r\n"
            " <stream xsi:type=\"xsd:string\"><![CDATA[PSO_TM1]]></stream>\r\n"
            " <parameter-type>2</parameter-type>\r\n"
            " <sps>12.500000</sps>\r\n"
            " <tag-number>102</tag-number>\r\n"
            " <parameter-class xsi:type=\"xsd:string\"><![CDATA[62]]></parameter-class>\r\n"
            "</parameter-attributes>\r\n"
            "</FullList>\r\n");
  EXPECT_TRUE(console.text().starts_with("- Total Parameters(including time): 2\n- Aggregate"))
      << console.text();
}

TEST_F(ListFilesTest, AMissingOutputFolderFailsWithoutASummary) {
  settings.outputDir = dir.file("no/such/folder");
  EXPECT_FALSE(BuildPrn(console));
  EXPECT_FALSE(BuildNepXml(console));
  EXPECT_EQ(console.text(), "");
}

// A full disk, stood in for by a file size limit: the step fails and no
// truncated list is left under the real name.
TEST_F(ListFilesTest, AWriteThatRunsOutOfSpaceFailsTheStep) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: a file size limit (setrlimit) stands for a full disk";
#else
  for (int i = 0; i < 5000; ++i) AddRecord(50, static_cast<uint16_t>(i + 3), i + 2);
  const std::string prn = dir.file("zarnYEB.prn");
  // Runs in a child process: exits with 7 when both writers fail cleanly.
  auto writeBothListsWithAFileSizeLimit = [this] {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    platform::StringTextOut out;
    const bool prnWritten = BuildPrn(out);
    const bool xmlWritten = BuildNepXml(out);
    std::_Exit(!prnWritten && !xmlWritten && out.text().empty() ? 7 : 1);
  };
  EXPECT_EXIT(writeBothListsWithAFileSizeLimit(), ::testing::ExitedWithCode(7), "");
  EXPECT_EQ(testsupport::ReadWholeFile(prn), "");
#endif
}

}  // namespace
