// Reading the PRN and NEP XML lists the stress tool writes.
#include <gtest/gtest.h>

#include "ParameterList.h"

namespace yebverify {
namespace {

TEST(PrnListTest, ReadsTimeWordsAndParametersWithEitherLineEnd) {
  for (const char* eol : {"\r\n", "\n"}) {
    std::string text = std::string("11 TIME$_DAY 100.000000 1") + eol +
                       "12 TIME$_MILLISEC 10000.000000 1" + eol + "13 S01_Parm11 50.000000 2" +
                       eol + "14 S01_Parm12 12.500000 2" + eol;
    ParameterList list;
    const platform::Status parsed = ParsePrnList(text, list);
    ASSERT_TRUE(parsed.ok()) << parsed.message();
    EXPECT_EQ(list.dayTag, 11u);
    EXPECT_EQ(list.millisecondTag, 12u);
    ASSERT_EQ(list.parameters.size(), 2u);
    EXPECT_EQ(list.parameters[0].tag, 13u);
    EXPECT_EQ(list.parameters[0].name, "S01_Parm11");
    EXPECT_EQ(list.parameters[1].rate, 12.5);
  }
}

TEST(PrnListTest, ReadsDataSourceAttributesAndWrappedTags) {
  std::string text =
      "65535 TIME$_DAY_3 100.000000 1 SystemParamType = MajorTime\r\n"
      "0 TIME$_MILLISEC_3 10000.000000 1 SystemParamType = MinorTime \r\n"
      "1 Parm65535 50.000000 2\r\n";
  ParameterList list;
  const platform::Status parsed = ParsePrnList(text, list);
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  EXPECT_EQ(list.dayTag, 65535u);
  EXPECT_EQ(list.millisecondTag, 0u);
  ASSERT_EQ(list.parameters.size(), 1u);
  EXPECT_EQ(list.parameters[0].tag, 1u);
  std::string mismatch;
  EXPECT_TRUE(ListTagsFollowOffset(list, 65534, mismatch)) << mismatch;
  EXPECT_FALSE(ListTagsFollowOffset(list, 0, mismatch));
  EXPECT_EQ(mismatch, "TIME$_DAY carries tag 65535 in the list, but tag offset 0 gives 1");
}

TEST(PrnListTest, RefusesWhatIsNoPrnList) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "PRN list: the time words TIME$_DAY and TIME$_MILLISEC are missing"},
      {"1 TIME$_DAY 100.000000 1\n2 TIME$_MILLISEC 10000.000000 1\n3 S01_Parm1 fifty 2\n",
       "PRN list line 3: expected \"tag name rate type\", found \"3 S01_Parm1 fifty 2\""},
      {"1 S01_Parm1 50.000000 2\n",
       "PRN list line 1: the first word must be TIME$_DAY, found S01_Parm1"},
      {"1 TIME$_DAY 100.000000 1\n\n2 TIME$_MILLI 10000.000000 1\n",
       "PRN list line 3: the second word must be TIME$_MILLISEC, found TIME$_MILLI"},
      {"70000 TIME$_DAY 100.000000 1\n",
       "PRN list line 1: expected \"tag name rate type\", found \"70000 TIME$_DAY 100.000000 1\""},
      {"1 TIME$_DAY 0 1\n",
       "PRN list line 1: expected \"tag name rate type\", found \"1 TIME$_DAY 0 1\""},
  };
  for (const Case& c : cases) {
    ParameterList list;
    const platform::Status parsed = ParsePrnList(c.text, list);
    EXPECT_FALSE(parsed.ok()) << c.text;
    EXPECT_EQ(parsed.message(), c.error);
  }
}

const char* const kNepList =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<FullList xmlns:NEPpa=\"http://tempuri.org/NEPpa\" xsi:type=\"NEPpa:FullList\">\r\n"
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
    "</FullList>\r\n";

TEST(NepXmlListTest, ReadsTheTimeParameterAndTheParameters) {
  ParameterList list;
  const platform::Status parsed = ParseNepXmlList(kNepList, list);
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  EXPECT_EQ(list.timeTag, 1u);
  ASSERT_EQ(list.parameters.size(), 1u);
  EXPECT_EQ(list.parameters[0].name, "Parm1");
  EXPECT_EQ(list.parameters[0].tag, 102u);
  EXPECT_EQ(list.parameters[0].rate, 12.5);
  std::string mismatch;
  EXPECT_TRUE(ListTagsFollowOffset(list, 100, mismatch)) << mismatch;
  EXPECT_FALSE(ListTagsFollowOffset(list, 0, mismatch));
}

TEST(NepXmlListTest, NegativeTagsAreTheirTwosComplement) {
  std::string text = kNepList;
  text.replace(text.find("<tag-number>102"), 15, "<tag-number>-8");
  ParameterList list;
  const platform::Status parsed = ParseNepXmlList(text, list);
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  EXPECT_EQ(list.parameters[0].tag, 0xFFFFFFF8u);
  std::string mismatch;
  EXPECT_TRUE(ListTagsFollowOffset(list, -10, mismatch)) << mismatch;
}

TEST(NepXmlListTest, RefusesBrokenBlocks) {
  const std::string good = kNepList;
  struct Case {
    std::string text;
    const char* error;
  } cases[] = {
      {"<nothing/>", "NEP XML list: no FullList element"},
      {"<FullList>\r\n</FullList>\r\n", "NEP XML list: no time parameter block"},
      {good.substr(0, good.rfind("</parameter-attributes>")),
       "NEP XML list: parameter block 2 is not closed"},
      {std::string(kNepList).replace(good.find("12.500000"), 9, "-1"),
       "NEP XML list, parameter block 2: bad sps \"-1\""},
      {std::string(kNepList).replace(good.find("<tag-number>102"), 15, "<tag-number>x"),
       "NEP XML list, parameter block 2: bad tag-number \"x\""},
      {std::string(kNepList).replace(good.find("ZARN_TIME"), 9, "Parm0"),
       "NEP XML list, parameter block 1: the first block must be the time parameter ZARN_TIME, "
       "found Parm0"},
  };
  for (const Case& c : cases) {
    ParameterList list;
    const platform::Status parsed = ParseNepXmlList(c.text, list);
    EXPECT_FALSE(parsed.ok());
    EXPECT_EQ(parsed.message(), c.error);
  }
}

TEST(ListFileTest, MissingFileIsNamed) {
  ParameterList list;
  const platform::Status loaded =
      LoadParameterList("/nonexistent/zarnYEB.prn", SourceKind::kCustom, list);
  EXPECT_EQ(loaded.code(), platform::Status::Code::kNotFound);
  EXPECT_EQ(loaded.message(),
            "cannot read the parameter list /nonexistent/zarnYEB.prn: does not exist");
}

}  // namespace
}  // namespace yebverify
