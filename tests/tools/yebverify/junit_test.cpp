// The JUnit report read back with an XML parser, its escaping, and the
// stream shapes the mismatch hint is made from.
#include <gtest/gtest.h>

#include <map>
#include <optional>

#ifdef YEB_HAVE_TINYXML2
#include <tinyxml2.h>
#endif

#include "JUnitReport.h"
#include "StreamGuess.h"
#include "reference/ReferenceTool.h"

namespace yebverify {
namespace {

TEST(JUnitTest, EscapesMarkupAndControlCharacters) {
  EXPECT_EQ(XmlEscape("a<b>&\"c\"'d'"), "a&lt;b&gt;&amp;&quot;c&quot;&apos;d&apos;");
  EXPECT_EQ(XmlEscape(std::string("tab\tnl\ncr\rnul\0bel\x07", 18)),
            "tab\tnl\ncr\rnul\xEF\xBF\xBD"
            "bel\xEF\xBF\xBD");
  EXPECT_EQ(XmlEscape("S01_Parm\xC3\xA9"), "S01_Parm\xC3\xA9");  // UTF-8 passes as it is
}

#ifdef YEB_HAVE_TINYXML2
TEST(JUnitTest, OneCasePerCheckKindThresholdAndExpectedFaultParsesBack) {
  FailureLog failures;
  failures.Record(FailureKind::kSequence, 30, 4,
                  [] { return Mismatch("", "30", "31", "sequence number "); });
  failures.Record(FailureKind::kTag, 12, 1244, [] {
    return std::string("tag 777 is not in the list (expected <S01_Parm1> & \"more\")");
  });
  failures.Record(FailureKind::kFaultNotSeen, 40, 0, [] { return std::string("line 3"); });
  RunOutcome outcome;
  outcome.verdict = Verdict{1, "failed", "yebverify: FAILED: 3 failed checks", {}};
  outcome.incomplete = "stopped by a signal after 2.0 s of --seconds 20";
  ThresholdResult late{"--max-late-ms", "max_late_ms", 10, 12.5, false};
  ThresholdResult rate{"--min-rate-percent", "min_rate_percent", 95, 99.9, true};
  outcome.thresholds = {late, rate};
  outcome.summaryText = "Summary\n  failures: <3>\n";
  const std::string xml = JUnitXml(RunCases(outcome, failures, nullptr), 2.5,
                                   "2026-12-10T04:00:00.123Z", "ab12", outcome.summaryText);

  tinyxml2::XMLDocument doc;
  ASSERT_EQ(doc.Parse(xml.c_str(), xml.size()), tinyxml2::XML_SUCCESS) << xml;
  const tinyxml2::XMLElement* suite = doc.RootElement()->FirstChildElement("testsuite");
  ASSERT_NE(suite, nullptr);
  std::map<std::string, const tinyxml2::XMLElement*> byName;
  int cases = 0;
  for (const tinyxml2::XMLElement* c = suite->FirstChildElement("testcase"); c != nullptr;
       c = c->NextSiblingElement("testcase")) {
    byName[std::string(c->Attribute("classname")) + "/" + c->Attribute("name")] = c;
    ++cases;
  }
  // The run, every check kind but the expected faults' own, two thresholds.
  EXPECT_EQ(cases, 1 + static_cast<int>(FailureKind::kCount) - 1 + 2);
  EXPECT_EQ(suite->IntAttribute("tests"), cases);
  EXPECT_EQ(suite->IntAttribute("failures"), 4);  // run, sequence, tag, --max-late-ms
  EXPECT_STREQ(suite->Attribute("timestamp"), "2026-12-10T04:00:00.123Z");

  const tinyxml2::XMLElement* tag = byName["yebverify.checks/tag"]->FirstChildElement("failure");
  ASSERT_NE(tag, nullptr);
  EXPECT_STREQ(tag->Attribute("message"),
               "tag: packet 12, offset 1244: tag 777 is not in the list (expected <S01_Parm1> & "
               "\"more\")");
  EXPECT_NE(std::string(tag->GetText()).find("1 failed"), std::string::npos);
  EXPECT_EQ(byName["yebverify.checks/value"]->FirstChildElement(), nullptr);  // passed
  EXPECT_STREQ(byName["yebverify.run/complete"]->FirstChildElement("failure")->Attribute("message"),
               "INCOMPLETE: stopped by a signal after 2.0 s of --seconds 20");
  EXPECT_NE(byName["yebverify.thresholds/--max-late-ms 10"]->FirstChildElement("failure"), nullptr);
  EXPECT_EQ(byName["yebverify.thresholds/--min-rate-percent 95"]->FirstChildElement(), nullptr);
  EXPECT_STREQ(suite->FirstChildElement("system-out")->GetText(), outcome.summaryText.c_str());
  EXPECT_STREQ(
      suite->FirstChildElement("properties")->FirstChildElement("property")->Attribute("value"),
      "ab12");
}
#endif

TEST(StreamGuessTest, FirstBytesNameTheSourceAndRate) {
  for (bool nep : {false, true}) {
    for (int rate : {50, 100, 200}) {
      yebverify_test::ReferenceTool tool({nep, rate, false, 0, {50.0, 1.0}});
      std::vector<uint8_t> bytes;
      if (!nep) bytes = tool.Greeting();
      std::vector<uint8_t> p = tool.NextPacket();
      bytes.insert(bytes.end(), p.begin(), p.end());
      std::optional<StreamShape> seen = GuessStreamShape(bytes.data(), bytes.size());
      ASSERT_TRUE(seen.has_value()) << nep << " " << rate;
      EXPECT_EQ(seen->source, nep ? SourceKind::kNep : SourceKind::kCustom) << rate;
      EXPECT_EQ(seen->packetRate, rate) << nep;
      // Cut inside the time words, the bytes say nothing sure.
      EXPECT_FALSE(GuessStreamShape(bytes.data(), nep ? 40 : 100).has_value()) << nep << rate;
    }
  }
  const StreamShape custom50{SourceKind::kCustom, 50, false};
  EXPECT_EQ(MismatchHint(custom50, {SourceKind::kNep, 50, false}),
            "this looks like a NEP stream: try --source nep or --manifest");
  EXPECT_EQ(MismatchHint(custom50, {SourceKind::kCustom, 100, false}),
            "this looks like a stream at 100 packets/s: try --packet-rate 100 or --manifest");
  EXPECT_EQ(MismatchHint(custom50, custom50), "");
}

}  // namespace
}  // namespace yebverify
