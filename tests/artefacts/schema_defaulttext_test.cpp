#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "artefacts/DefaultConfigText.h"
#include "artefacts/DefaultTableTemplates.h"

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

size_t CountFields(const std::string& joined) {
  size_t fields = 1;
  for (char c : joined) fields += c == '|';
  return fields;
}

const schema::TableTemplate* FindTemplate(const std::string& name) {
  for (const auto& table : schema::DefaultTableTemplates()) {
    if (name == table.name) return &table;
  }
  return nullptr;
}

TEST(DefaultTableTemplates, ListsSixtyThreeDistinctTablesInFileOrder) {
  const auto tables = schema::DefaultTableTemplates();
  ASSERT_EQ(tables.size(), 63u);
  std::set<std::string> names;
  for (const auto& table : tables) names.insert(table.name);
  EXPECT_EQ(names.size(), 63u);
  EXPECT_STREQ(tables.front().name, "ActualFlutterTestPointsLog");
  EXPECT_STREQ(tables[22].name, "ParameterDefaults");
  EXPECT_STREQ(tables.back().name, "ZarnActiveXControls");
}

// Column and type counts of a sample that covers every irregular template.
TEST(DefaultTableTemplates, ColumnAndTypeCountsMatchTheSchema) {
  struct Case {
    const char* table;
    size_t columns;
    size_t types;
  };
  const Case cases[] = {
      {"ActualFlutterTestPointsLog", 22, 22},
      {"AnalysisWindows", 11, 11},
      {"DisplayDefaults", 7, 3},
      {"ToolPositions", 7, 3},
      {"ParameterDefaults", 69, 69},
      {"ParametersSavedInDisplays", 70, 69},
      {"LoadsSummaryLog", 36, 36},
      {"FlutterSummaryPlot", 41, 41},
      {"Users", 6, 6},
      {"ZarnActiveXControls", 9, 9},
  };
  for (const Case& c : cases) {
    const schema::TableTemplate* table = FindTemplate(c.table);
    ASSERT_NE(table, nullptr) << c.table;
    EXPECT_EQ(CountFields(table->columns), c.columns) << c.table;
    EXPECT_EQ(CountFields(table->types), c.types) << c.table;
  }
  // Every other table has as many types as columns.
  for (const auto& table : schema::DefaultTableTemplates()) {
    std::string name = table.name;
    if (name == "DisplayDefaults" || name == "ToolPositions" ||
        name == "ParametersSavedInDisplays") {
      continue;
    }
    EXPECT_EQ(CountFields(table.columns), CountFields(table.types)) << name;
  }
}

TEST(DefaultTableTemplates, OddSpellingsAreKept) {
  EXPECT_STREQ(FindTemplate("DisplayDefaults")->columns,
               "Group|DisplayType|UpdateRatePerSecond|width|height|??|PropertyBag");
  EXPECT_STREQ(FindTemplate("DisplayDefaults")->types, "String|String........|string");
  EXPECT_STREQ(FindTemplate("ValidationLog")->columns,
               "Parameter|Error Type|Expected|Actual|Comment|PropertyBag");
  EXPECT_STREQ(FindTemplate("PeaksLog")->types, "string|string|string|string|list|string|string");
  const std::string pd = FindTemplate("ParameterDefaults")->types;
  EXPECT_EQ(pd.rfind("String|String|String"), pd.size() - 20);
  EXPECT_NE(pd.find("|listQuery(select Value from SystemValues where Name = 'ParamType')|"),
            std::string::npos);
}

TEST(DefaultConfigText, TemplateTextIsVersionFourWithoutTheLastTable) {
  const std::string& text = schema::GetTemplateText();
  std::vector<std::string> lines = SplitLines(text);
  ASSERT_EQ(lines.size(), 2u + 62 * 6 + 1);
  EXPECT_EQ(lines.front(), "Root VersionFourPointZero");
  EXPECT_EQ(lines[1], "{");
  EXPECT_EQ(lines.back(), "}");
  EXPECT_EQ(text.find("ZarnActiveXControls"), std::string::npos);
  EXPECT_EQ(text.back(), '\n');
}

TEST(DefaultConfigText, DefaultTextIsVersionFiveEndingInZarnActiveXControls) {
  const std::string& text = schema::GetDefaultConfigText();
  EXPECT_EQ(&text, &schema::GetDefaultConfigText());
  std::vector<std::string> lines = SplitLines(text);
  ASSERT_EQ(lines.size(), 2u + 63 * 6 + 1);
  EXPECT_EQ(lines.front(), "Root VersionFivePointZero");
  EXPECT_EQ(lines[lines.size() - 7], "  Table ZarnActiveXControls");
  EXPECT_EQ(lines[lines.size() - 5],
            std::string(40, ' ') +
                "TableDefinition Name|X|Y|Z|Width|Height|ProgId|ParentName|PropertyBag");
  EXPECT_EQ(lines.back(), "}");
  EXPECT_EQ(text.find("VersionFourPointZero"), std::string::npos);
}

// The exact bytes of one template, including both indents of the type line.
TEST(DefaultConfigText, TemplateLinesCarryTheirIndents) {
  std::string text;
  schema::AppendTableTemplate(*FindTemplate("Colors"), text);
  const std::string b37(37, ' ');
  const std::string b40(40, ' ');
  EXPECT_EQ(text, "  Table Colors\n" + b37 + "{\n" + b40 + "TableDefinition Color|PropertyBag\n" +
                      b40 + "TableType Color|string\n" + b40 + "TableContents\n" + b37 + "}\n");

  text.clear();
  schema::AppendTableTemplate(*FindTemplate("ParameterDefaults"), text);
  std::vector<std::string> lines = SplitLines(text);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[3].rfind("    TableType String|String|listQuery(", 0), 0u);
}

}  // namespace

#include "support/ChildProcess.h"
#include "templatelib/tConfigSource.h"

namespace {

TEST(DefaultConfigText, LoadsAsSixtyThreeEmptyTablesWithTheirColumnCounts) {
  testsupport::TempDir dir;
  const std::string path = dir.file("default.config");
  testsupport::WriteWholeFile(path, schema::GetDefaultConfigText());
  tConfigSource source;
  tAttribute* root = source.LoadAttributesFromFile(path.c_str(), 0, nullptr, nullptr);
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(root->value.Text(), "VersionFivePointZero");
  ASSERT_EQ(root->ChildCount(), 63);
  for (const auto& table : schema::DefaultTableTemplates()) {
    tTableNodes nodes;
    ASSERT_EQ(source.FindTable(table.name, &nodes), S_OK) << table.name;
    EXPECT_EQ(nodes.contents->ChildCount(), 0) << table.name;
    EXPECT_EQ(nodes.definition->errorStateOrFieldCount,
              static_cast<int32_t>(CountFields(table.columns)))
        << table.name;
    EXPECT_STREQ(nodes.type->value.Text(), table.types) << table.name;
  }
}

}  // namespace
