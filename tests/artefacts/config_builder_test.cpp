// The configuration builder: what "zarnYEB.config" holds once loaded again,
// and that every failing step fails the build instead of saving less.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "artefacts/ConfigFileBuilder.h"
#include "artefacts/DefaultConfigText.h"
#include "artefacts/DefaultTableTemplates.h"
#include "packet/ParmTable.h"
#include "support/ChildProcess.h"
#include "templatelib/tConfigSource.h"

namespace {

using artefacts::BuildConfigFileAt;

// The row values of a table, in order; every row must be Unchanged (the
// build committed) and carry a row id of its own.
std::vector<std::string> RowsOf(tConfigSource& source, const char* table,
                                std::set<std::string>& ids) {
  tTableNodes nodes;
  EXPECT_EQ(source.FindTable(table, &nodes), S_OK) << table;
  std::vector<std::string> rows;
  if (nodes.contents == nullptr) return rows;
  for (auto it = nodes.contents->Children(); tAttribute* row = it.Next();) {
    EXPECT_EQ(row->rowState, kRowUnchanged) << table;
    EXPECT_TRUE(ids.insert(row->name.Text()).second) << "row id used twice: " << row->name.Text();
    rows.push_back(row->value.Text() != nullptr ? row->value.Text() : "");
  }
  return rows;
}

std::string Pipes(int count) { return std::string(static_cast<size_t>(count), '|'); }

std::string ParameterRow(const std::string& name, const std::string& rate) {
  return "PS1|" + name + "|float|Group|SubGroup|" + name + "|" + name + "||||TPP||" + rate +
         Pipes(56);
}

class ConfigBuilderTest : public ::testing::Test {
 protected:
  void Add(double rate) { table.records[table.parmCount++].sampleRate = rate; }
  std::string Path() const { return dir.file(artefacts::kConfigFileName); }

  testsupport::TempDir dir;
  packet::ParmTable table;
};

// The built file loaded again: the schema's tables in order, the four fixed
// rows, `parameterRows` in ParameterDefaults and every other table empty.
void ExpectBuiltFile(const std::string& path, const std::vector<std::string>& parameterRows) {
  tConfigSource source;
  ASSERT_NE(source.LoadAttributesFromFile(path.c_str()), nullptr);
  EXPECT_STREQ(source.Root()->value.Text(), "VersionFivePointZero");
  std::vector<std::string> tables;
  for (auto it = source.Root()->Children(); tAttribute* node = it.Next();) {
    EXPECT_STREQ(node->name.Text(), "Table");
    tables.push_back(node->value.Text());
  }
  std::vector<std::string> expectedTables;
  for (const schema::TableTemplate& t : schema::DefaultTableTemplates()) {
    expectedTables.push_back(t.name);
  }
  EXPECT_EQ(tables, expectedTables);
  ASSERT_EQ(tables.size(), 63u);

  std::set<std::string> ids;
  for (const std::string& name : tables) {
    std::vector<std::string> rows = RowsOf(source, name.c_str(), ids);
    if (name == "AnalysisWindows") {
      EXPECT_EQ(rows, std::vector<std::string>{
                          "Window1|0.0|0.0|0.857|0.938|This window has NOT been classified|Normal" +
                          Pipes(4)});
    } else if (name == "Desktops") {
      EXPECT_EQ(rows, std::vector<std::string>{"Group|SubGroup|Desktop1|Window1|"});
    } else if (name == "Users") {
      EXPECT_EQ(rows, std::vector<std::string>{"User1||NewDesktop|||"});
    } else if (name == "ParameterDefaultsState") {
      EXPECT_EQ(rows, std::vector<std::string>{"PS1||True|"});
    } else if (name == "ParameterDefaults") {
      EXPECT_EQ(rows, parameterRows);
    } else {
      EXPECT_TRUE(rows.empty()) << name;
    }
  }
  EXPECT_EQ(ids.size(), 4u + parameterRows.size());
}

TEST_F(ConfigBuilderTest, HoldsTheSchemaTheFixedRowsAndOneParameterRowPerRecord) {
  Add(50.0);
  Add(12.5);
  Add(0.001);
  ASSERT_TRUE(BuildConfigFileAt(Path(), schema::GetDefaultConfigText(), table, 100));
  ExpectBuiltFile(Path(),
                  {ParameterRow("Parm101", "50.000000"), ParameterRow("Parm102", "12.500000"),
                   ParameterRow("Parm103", "0.001000")});
}

TEST_F(ConfigBuilderTest, AnEmptyTableGivesTheFourFixedRowsAndNoParameter) {
  ASSERT_TRUE(BuildConfigFileAt(Path(), schema::GetDefaultConfigText(), table, 0));
  ExpectBuiltFile(Path(), {});
}

// Each case fails at another step; none may report success, and a target
// that got the default text keeps exactly that (no half-built save).
struct FailureCase {
  const char* what;
  std::string defaultText;
  bool folderMissing;
  bool targetIsFolder;
  bool keepsDefaultText;
};

class ConfigBuilderFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ConfigBuilderFailureTest, FailsTheBuild) {
  const FailureCase& c = GetParam();
  testsupport::TempDir dir;
  packet::ParmTable table;
  table.records[table.parmCount++].sampleRate = 50.0;
  std::string path = dir.file(c.folderMissing ? "missing/zarnYEB.config" : "zarnYEB.config");
  if (c.targetIsFolder) path = dir.path();
  EXPECT_FALSE(BuildConfigFileAt(path, c.defaultText, table, 0)) << c.what;
  if (c.keepsDefaultText) {
    EXPECT_EQ(testsupport::ReadWholeFile(path), c.defaultText) << c.what;
  }
}

// The schema without its ParameterDefaults table: the engine rejects the
// parameter statements.
std::string WithoutParameterDefaults() {
  std::string text = "Root VersionFivePointZero\n{\n";
  for (const schema::TableTemplate& t : schema::DefaultTableTemplates()) {
    if (std::string(t.name) != "ParameterDefaults") schema::AppendTableTemplate(t, text);
  }
  return text + "}\n";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ConfigBuilderFailureTest,
    ::testing::Values(
        FailureCase{"output folder missing", schema::GetDefaultConfigText(), true, false, false},
        FailureCase{"target is a folder", schema::GetDefaultConfigText(), false, true, false},
        FailureCase{"text is no configuration", "not a configuration\n", false, false, true},
        FailureCase{"a statement is rejected", WithoutParameterDefaults(), false, false, true}));

}  // namespace
