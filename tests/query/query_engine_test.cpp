// The statement engine on real configuration trees: every statement kind,
// the sound-behaviour rules, refusals, and the primary-key index checked
// against a scan of the same rows. The parser alone: statement_parser_test.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "artefacts/DefaultConfigText.h"
#include "query/StatementExecutors.h"
#include "query/tSqlQueryEngine.h"
#include "support/ChildProcess.h"
#include "support/DebugCapture.h"
#include "support/OutsideTools.h"
#include "templatelib/tConfigSource.h"

namespace {

// Params has one column of each value type; Other is left alone.
const char kConfig[] =
    "Root VersionFivePointZero\n"
    "{\n"
    "   Table Params\n"
    "   {\n"
    "      TableDefinition Name|Rate|Gain|Kind\n"
    "      TableType String|Int|Float|String\n"
    "      TableContents \n"
    "      {\n"
    "         r1 Alpha|9|1.5|TPP\n"
    "         r2 beta|10|2.5|Derived\n"
    "         r3 Gamma|100|0.5|tpp\n"
    "         r4 alpha|9|3.5|TPP\n"
    "         r5 Short\n"
    "      }\n"
    "   }\n"
    "   Table Other\n"
    "   {\n"
    "      TableDefinition A|B\n"
    "      TableType String|String\n"
    "      TableContents \n"
    "   }\n"
    "}\n";

class QueryEngine : public ::testing::Test {
 protected:
  void Load(const std::string& text) {
    testsupport::WriteWholeFile(dir.file("t.config"), text);
    ASSERT_NE(source.LoadAttributesFromFile(dir.file("t.config").c_str()), nullptr);
    engine.attachConfigSource(&source);
  }
  void SetUp() override { Load(kConfig); }

  // Runs a statement; the result lines, and the code through `hr`.
  std::vector<std::string> Run(const std::string& statement, HRESULT* hr = nullptr,
                               char delimiter = '|', tQueryOrderingCallback ordering = nullptr) {
    tQueryString results;
    HRESULT code = engine.Query(statement.c_str(), &results, delimiter, ordering);
    if (hr != nullptr) *hr = code;
    std::vector<std::string> lines;
    results.ResetCursor();
    while (const char* line = results.NextLine()) lines.emplace_back(line);
    return lines;
  }
  HRESULT Code(const std::string& statement) {
    HRESULT hr;
    Run(statement, &hr);
    return hr;
  }
  // Row id, state and value of every row of a table, in table order.
  std::vector<std::string> Rows(const char* table) {
    tTableNodes nodes;
    EXPECT_EQ(source.FindTable(table, &nodes), S_OK);
    std::vector<std::string> rows;
    for (auto it = nodes.contents->Children(); tAttribute* row = it.Next();) {
      rows.push_back(std::string(row->name.Text()) + " " + RowStateWord(row->rowState) + " " +
                     (row->value.Text() != nullptr ? row->value.Text() : ""));
    }
    return rows;
  }

  testsupport::TempDir dir;
  tConfigSource source;
  tSqlQueryEngine engine{&source};
};

using Lines = std::vector<std::string>;

TEST_F(QueryEngine, RefusesStatementsItCannotRead) {
  testsupport::DebugCapture debug;
  const std::pair<const char*, HRESULT> cases[] = {
      {"select\tName from Params", E_FAIL},  // a tab does not end the keyword
      {" select Name from Params", E_FAIL},
      {"commit", E_FAIL},
      {"frobnicate Params", E_FAIL},
      {"select from Params", E_FAIL},
      {"select Name Params", E_FAIL},
      {"update Params Name = 1", E_FAIL},
      {"delete Params", E_FAIL},
      {"comment anything at all", S_OK},
  };
  for (const auto& [statement, expected] : cases) {
    EXPECT_EQ(Code(statement), expected) << statement;
  }
  EXPECT_EQ(engine.Query(nullptr), E_POINTER);
  EXPECT_EQ(engine.Query(""), E_INVALIDARG);
  const std::vector<std::string> expected = {
      "tSqlQueryEngine: Illegal update statement, missing 'set' clause (update Params Name = 1)\n",
      "tSqlQueryEngine: Illegal delete statement, missing 'from' clause (delete Params)\n"};
  EXPECT_EQ(debug.messages(), expected);
}

TEST_F(QueryEngine, SelectsRowsAndItsForms) {
  const struct {
    const char* statement;
    Lines lines;
    HRESULT hr;
  } cases[] = {
      {"select Name, Rate from Params where Kind = 'TPP'",
       {"Alpha|9", "Gamma|100", "alpha|9"},
       S_OK},
      // Int compares numbers, String compares text; a missing field reads as 0.
      {"select Name from Params where Rate < 10", {"Alpha", "alpha", "Short"}, S_OK},
      {"select Name from Params where Name < '9x'", {}, S_FALSE},
      {"select Name from Params where 0", {}, S_OK},
      {"select top 2 Name from Params", {"Alpha", "beta"}, S_OK},
      {"select distinct Name from Params where Rate = 9", {"Alpha"}, S_OK},
      {"select Name, Gain from Params where Rate > 0 order by Gain",
       {"Gamma|0.5", "Alpha|1.5", "beta|2.5", "alpha|3.5"},
       S_OK},
      {"select System.RowNumber, Gain from Params where Name = 'gamma'", {"r3|0.5"}, S_OK},
      {"select Rate from Params where System.RowNumber = r2", {"10"}, S_OK},
      {"select System.TableDefinition from Params", {"Name|Rate|Gain|Kind"}, S_OK},
      {"select Name, Kind from Params where Name = 'Short'", {"Short|"}, S_OK},
      {"select Name from Params where Name = 'A*' ", {"Alpha", "alpha"}, S_OK},
      {"select Name from Nowhere", {}, E_FAIL},
      {"select Nope from Params where Rate = 10", {}, E_FAIL},
      {"select Name from Params where Nope = 1", {}, E_FAIL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement);
    HRESULT hr;
    std::vector<std::string> lines = Run(c.statement, &hr);
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(hr, c.hr);
  }
  // "*" is the row as stored, whatever the delimiter.
  EXPECT_EQ(Run("select *, Rate from Params where Name = 'beta'", nullptr, ','),
            Lines{"beta|10|2.5|Derived,10"});
}

TEST_F(QueryEngine, MatchAllIsDecidedByEveryStatement) {
  EXPECT_EQ(Run("select Name from Params").size(), 5u);
  EXPECT_EQ(Run("select Name from Params where Name = 'beta'"), Lines{"beta"});
  EXPECT_EQ(Code("delete from Params where Name = 'beta'"), S_OK);
  EXPECT_EQ(Run("select Name from Params where Rate = 10"), Lines{});
  EXPECT_EQ(Run("select Name, System.RowState from Params where Rate = 10"), Lines{"beta|Deleted"});
}

TEST_F(QueryEngine, UpdatesInsertAndChangeRows) {
  // Insert through "where 0": a whole row cut to the column count, and a
  // column-form row with every other field empty.
  EXPECT_EQ(Code("update Params set * = N1|1|1.0|K|extra|more where 0 suggestedRowId n1"), S_OK);
  EXPECT_EQ(Code("update Params set Kind = 'It''s, quoted ', Name = bare where 0 "
                 "suggestedRowId n2"),
            S_OK);
  EXPECT_EQ(Code("update Other set * = x"), S_OK);  // no where clause: an insert
  // updat2 changes only, updat3 inserts only.
  EXPECT_EQ(Code("updat2 Params set Gain = 9 where Name = 'nobody'"), S_OK);
  EXPECT_EQ(Code("updat3 Params set Gain = 9 where Name = 'beta'"), S_OK);
  EXPECT_EQ(Code("update Params set Gain = 7.5 where Rate = 9"), S_OK);
  EXPECT_EQ(Code("update Params set * = G|1|2|3 where System.RowNumber = r3"), S_OK);
  EXPECT_EQ(Code("update Params set * = Z|0|0|0 where System.RowNumber = z9"), S_OK);
  EXPECT_EQ(Rows("Params"),
            (Lines{"r1 Edited Alpha|9|7.5|TPP", "r2 Unchanged beta|10|2.5|Derived",
                   "r3 Edited G|1|2|3", "r4 Edited alpha|9|7.5|TPP", "r5 Unchanged Short",
                   "n1 New N1|1|1.0|K", "n2 New bare|||It's, quoted", "z9 New Z|0|0|0"}));
  EXPECT_EQ(Rows("Other").size(), 1u);
  EXPECT_EQ(Rows("Other")[0].substr(Rows("Other")[0].find(' ')), " New x|");
  // An owner with row ids of its own hands them to its engine.
  tSqlQueryEngine owned(&source, [](tString* id) { return id->Assign("owned-1"); });
  EXPECT_EQ(owned.Query("update Other set * = y"), S_OK);
  EXPECT_EQ(Rows("Other").back(), "owned-1 New y|");
  // "$" reads the value before the last edit, of Edited rows only.
  EXPECT_EQ(Run("select $Gain, Gain from Params where Kind = 'TPP'"),
            (Lines{"1.5|7.5", "3.5|7.5"}));
}

TEST_F(QueryEngine, AFailingSetClauseChangesNothing) {
  testsupport::DebugCapture debug;
  const std::vector<std::string> before = Rows("Params");
  const char* const failing[] = {
      "update Params set Nope = 1 where Rate = 9",        // no such column
      "update Params set Gain = 1, Kind where Rate = 9",  // not properly formed
      "update Params set Kind = 3 where Name = 'Short'",  // the row is too short
      "update Params set Kind = 'a|b' where Rate = 9",    // would add a field
      "update Params set Nope = 1 where 0",               // no half-filled insert
      "update Params set * = a|b where 0 suggestedRowId {x",
      "update Params set Kind = 1 where Rate = 9 && (Kind = 'TPP'",  // unbalanced
      "update Params set Kind = 1 where Rate = 9 & Kind = 'TPP'",
  };
  for (const char* statement : failing) EXPECT_EQ(Code(statement), E_FAIL) << statement;
  EXPECT_EQ(Rows("Params"), before);
  EXPECT_EQ(debug.messages()[0],
            "tSqlQueryEngine: Query (update Params set Nope = 1 where Rate = 9) failed, ColumnName "
            "(Nope) in set statement not defined in table\n");
  // Quoted names are values, not System forms: nothing is purged.
  EXPECT_EQ(Code("delete from Params where Name = 'System.RowState = A'"), S_OK);
  EXPECT_EQ(Rows("Params"), before);
  // "0" and "False" match no row anywhere in a clause.
  EXPECT_EQ(Run("select Name from Params where Rate = 9 && False"), Lines{});
  EXPECT_EQ(Run("select Name from Params where 0 || Rate = 10"), Lines{"beta"});
}

TEST_F(QueryEngine, DeletesPurgesAndManagesTables) {
  EXPECT_EQ(Code("delete from Params where Rate = 9"), S_OK);
  EXPECT_EQ(Code("delete from Params where System.RowNumber = r5"), S_OK);
  EXPECT_EQ(Code("delete from Params where System.ErrorState = 0"), E_NOTIMPL);
  EXPECT_EQ(Code("delete from Params where System.RowNumber = nobody"), E_FAIL);
  EXPECT_EQ(Run("select System.RowNumber from Params where System.RowState = D"),
            (Lines{"r1", "r4", "r5"}));
  EXPECT_EQ(Run("select System.RowNumber from Params where System.RowState = A").size(), 5u);
  EXPECT_EQ(Code("delete from Params where System.RowState = D"), S_OK);
  EXPECT_EQ(Rows("Params").size(), 2u);
  EXPECT_EQ(Code("delete from Params where System.RowState = A"), S_OK);
  EXPECT_TRUE(Rows("Params").empty());

  EXPECT_EQ(Code("create table Flags (Name String, On list(True,False))"), S_OK);
  EXPECT_EQ(Run("select System.TableType from Flags"), Lines{"String|list(True,False)"});
  EXPECT_EQ(Code("create table Flags (Other Int)"), S_OK);  // exists: unchanged
  EXPECT_EQ(Run("select System.TableDefinition from Flags"), Lines{"Name|On"});
  EXPECT_EQ(Code("create table Bad (A|B String)"), E_FAIL);
  EXPECT_EQ(Code("update Flags set Name = 'n', On = 'True' where 0"), S_OK);
  EXPECT_EQ(Run("select Name, On from Flags where On = 'true'"), Lines{"n|True"});
  EXPECT_EQ(Code("drop table Flags"), S_OK);
  EXPECT_EQ(Code("drop table Flags"), S_OK);
  EXPECT_EQ(Code("select Name from Flags"), E_FAIL);
  EXPECT_EQ(Code("update Params set System.TableDefinition = Name|Rate|Gain|Kind|More"), S_OK);
  EXPECT_EQ(Code("update Params set * = a|1|2|3|4|5 where 0"), S_OK);
  EXPECT_EQ(Run("select More from Params"), Lines{"4"});  // the field count followed
}

TEST_F(QueryEngine, SortBuildsAnIndexAndReportsItsShape) {
  testsupport::DebugCapture debug;
  EXPECT_EQ(Code("sort table Params on Name,Nope"), S_OK);
  tTableNodes params;
  ASSERT_EQ(source.FindTable("Params", &params), S_OK);
  ASSERT_NE(params.contents->childIndex, nullptr);
  EXPECT_EQ(params.contents->childIndex->BinCount(), 1024);
  EXPECT_STREQ(params.contents->childIndex->KeyColumns().Text(), "Name");
  EXPECT_EQ(debug.messages(),
            std::vector<std::string>{"tSqlQueryEngine: Query (sort table Params on Name,Nope) "
                                     "failed, unknown column token (Nope) in query\n"});
  EXPECT_EQ(Run("select Rate from Params where Name = 'ALPHA'"), (Lines{"9", "9"}));
  // "on " is found as a word only.
  Load(schema::GetDefaultConfigText());
  EXPECT_EQ(Code("sort table DataStorageInformation on System.RowNumber"), S_OK);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(Code("update Users set User = 'same' where 0"), S_OK);
  }
  EXPECT_EQ(Code("sort table Users on User"), S_OK);
  EXPECT_NE(debug.messages().back().find("Opto alert: Hash table max bin size was (6)"),
            std::string::npos);
}

TEST_F(QueryEngine, ArchiveFormExtractsFromTheSourcesOwnArchive) {
  SKIP_WITHOUT_OUTSIDE_TOOLS();
  EXPECT_EQ(Code("select FullFileName from zBall where FileName = 'plot.cfg'"), E_FAIL);
  const std::string zip = dir.file("site.zip");
  testsupport::WriteWholeFile(dir.file("config.txt"), kConfig);
  const std::string script = "import zipfile; z=zipfile.ZipFile(\"" + zip +
                             "\",\"w\"); z.write(\"" + dir.file("config.txt") +
                             "\",\"ZARN/pfConfig\"); z.writestr(\"ZARN/MISC/plot.cfg\",\"plot "
                             "data\"); z.close()";
  ASSERT_EQ(std::system(("python3 -c '" + script + "'").c_str()), 0);
  ASSERT_NE(source.LoadAttributesFromFile(zip.c_str()), nullptr);
  const Lines lines = Run("select FullFileName from zBall where FileName = 'plot.cfg'");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(testsupport::ReadWholeFile(lines[0]), "plot data");
  std::remove(lines[0].c_str());
}

// The primary-key index must answer every keyed query exactly as a scan of
// the same rows does, lines in the same order, after any mix of inserts,
// edits, deletes, purges, revivals by row id, commits and new sorts (some
// naming a column the table lacks). Two tables hold the same rows; only one
// is indexed.
TEST_F(QueryEngine, IndexAgreesWithTheScanUnderRandomChanges) {
  Load(schema::GetDefaultConfigText());
  for (const char* table : {"Users", "Groups"}) {
    EXPECT_EQ(Code(std::string("create table Keyed") + table + " (Key String, Val Int)"), S_OK);
  }
  ASSERT_EQ(Code("sort table KeyedUsers on Key,System.RowNumber"), S_OK);
  testsupport::DebugCapture debug;  // the reports of unknown key columns
  std::mt19937 random(7);
  // Letter case changes keys for neither the index nor String equality.
  auto key = [&] { return (random() % 4 ? "k" : "K") + std::to_string(random() % 12); };
  const char* const sorts[] = {"Key,System.RowNumber", "Key,Bogus", "Val,Key", "Key"};
  const char* const probes[] = {"System.RowNumber, Key, Val", "Key, System.RowState", "$Key"};
  for (int step = 0; step < 1500; ++step) {
    std::string statement;
    switch (random() % 9) {
      case 0:
      case 1:
        statement = "update T set Key = '" + key() + "', Val = " + std::to_string(random() % 5) +
                    " where 0 suggestedRowId id" + std::to_string(step);
        break;
      case 2:
        // updat2: an insert here would give the two tables different row ids.
        statement = "updat2 T set Key = '" + key() + "' where Key = '" + key() + "'";
        break;
      case 3:
        statement = "updat2 T set * = " + key() + "|3 where Val = " + std::to_string(random() % 5);
        break;
      case 4:
        statement = "delete from T where Key = '" + key() + "'";
        break;
      case 5:
        statement = random() % 2 ? "delete from T where System.RowState = D"
                                 : "delete from T where System.RowNumber = id" +
                                       std::to_string(random() % (step + 1));
        break;
      case 6: {  // an update by row id brings a Deleted row back
        const Lines gone =
            Run("select System.RowNumber from KeyedGroups where System.RowState = D");
        if (gone.empty()) continue;
        statement = "updat2 T set Val = 4 where System.RowNumber = " + gone[random() % gone.size()];
        break;
      }
      case 7:
        ASSERT_EQ(Code(std::string("sort table KeyedUsers on ") + sorts[random() % 4]), S_OK);
        continue;
      default:
        ASSERT_EQ(source.CommitAllTables(), S_OK);
        continue;
    }
    HRESULT codes[2];
    for (int t = 0; t < 2; ++t) {
      std::string text = statement;
      text.replace(text.find(" T "), 3, t == 0 ? " KeyedUsers " : " KeyedGroups ");
      codes[t] = Code(text);
    }
    ASSERT_EQ(codes[0], codes[1]) << statement;
    for (int number = 0; number < 12; ++number) {
      const std::string probe = std::string("select ") + probes[random() % 3] + " from T where " +
                                "Key = 'k" + std::to_string(number) + "' && Val >= 0";
      Lines lines[2];
      for (int t = 0; t < 2; ++t) {
        lines[t] = Run(std::string(probe).replace(probe.find(" T "), 3,
                                                  t == 0 ? " KeyedUsers " : " KeyedGroups "));
      }
      ASSERT_EQ(lines[0], lines[1]) << "after " << statement << ": " << probe;
    }
  }
}

// A select of plain columns writes its lines straight from the rows; a
// select with an ordering callback builds each line first. A callback that
// keeps every line at the end must then change nothing, and both must give
// the lines of the rows split and joined again: over short, empty, edited
// and Deleted rows, fields on both sides of eight-byte boundaries, repeated
// columns, top, and every delimiter (a NUL one ends the line).
TEST_F(QueryEngine, PlainColumnsGiveTheLinesOfTheGeneralWay) {
  testsupport::DebugCapture debug;  // updates of too short rows fail
  std::mt19937 random(11);
  auto text = [&] {
    return std::string(random() % 2 ? random() % 20 : 0, char('a' + random() % 26));
  };
  std::string config =
      "Root VersionFivePointZero\n{\n   Table T\n   {\n      TableDefinition A|B|C|D|E\n"
      "      TableType String|String|String|String|String\n      TableContents \n      {\n";
  for (int row = 0; row < 40; ++row) {
    std::string value = text();
    for (int fields = int(random() % 8); fields > 1; --fields) value += "|" + text();
    config += "         r" + std::to_string(row) + " " + value + "\n";
  }
  Load(config + "      }\n   }\n}\n");
  static int generalLines = 0;
  auto keepAtEnd = [](const char*, const char*, void*) -> int32_t { return ++generalLines, 0; };
  const char* const columns[] = {"A", "b", "C", "d", "E"};
  const char delimiters[] = {'|', ',', '\0'};
  for (int step = 0; step < 300; ++step) {
    const std::string row = " where System.RowNumber = r" + std::to_string(random() % 40);
    if (random() % 4 == 0) {
      Code("update T set " + std::string(columns[random() % 5]) + " = '" + text() + "'" + row);
    }
    if (random() % 8 == 0) Code("delete from T" + row);
    if (random() % 16 == 0) {
      ASSERT_EQ(source.CommitAllTables(), S_OK);
    }
    const size_t top = random() % 4 ? 0 : random() % 30;
    std::string select = "select top " + std::to_string(top) + " ";
    std::vector<size_t> picked;
    for (int items = 1 + int(random() % 4); items > 0; --items) {
      picked.push_back(random() % 5);
      select += std::string(columns[picked.back()]) + (items > 1 ? ", " : " from T");
    }
    const char delimiter = delimiters[random() % 3];
    Lines model;
    tTableNodes nodes;
    ASSERT_EQ(source.FindTable("T", &nodes), S_OK);
    for (auto it = nodes.contents->Children(); tAttribute* at = it.Next();) {
      if (at->rowState == kRowDeleted || (top > 0 && model.size() == top)) continue;
      Lines fields(1);
      for (const char* c = at->value.Text(); c != nullptr && *c != '\0'; ++c) {
        if (*c == '|') {
          fields.emplace_back();
        } else {
          fields.back().push_back(*c);
        }
      }
      std::string line;
      for (size_t i = 0; i < picked.size() && (i == 0 || delimiter != '\0'); ++i) {
        if (i > 0) line += delimiter;
        if (picked[i] < fields.size()) line += fields[picked[i]];
      }
      model.push_back(line);
    }
    HRESULT codes[2];
    ASSERT_EQ(Run(select, &codes[0], delimiter), model) << select;
    ASSERT_EQ(Run(select, &codes[1], delimiter, keepAtEnd), model) << select;
    ASSERT_EQ(codes[0], codes[1]) << select;
  }
  EXPECT_GT(generalLines, 0);  // the callback was asked: the general way ran
}

// The reported cases. The index must be in use for them to mean anything.
TEST_F(QueryEngine, IndexAnswersLikeTheScanAfterSortsDeletesAndMoves) {
  testsupport::DebugCapture debug;
  ASSERT_EQ(Code("create table Crew (Name String, Tint String)"), S_OK);
  for (const char* row : {"Ann|red", "Bob|blue", "Cid|red", "Eve|red"}) {
    ASSERT_EQ(Code(std::string("update Crew set * = ") + row + " where 0"), S_OK);
  }
  // Whether the key shortcut answers the where clause on Crew's index.
  auto keyShortcut = [&](const char* where) {
    tTableNodes crew;
    EXPECT_EQ(source.FindTable("Crew", &crew), S_OK);
    tSqlEquationEngine equation;
    EXPECT_EQ(equation.SetColumns(crew.definition->value.Text(), crew.type->value.Text()), S_OK);
    EXPECT_NE(equation.setEquation(where), 0);
    tString key;
    const HRESULT hr = query::PrimaryKeyOfWhere(crew.contents->childIndex, where, equation, &key);
    EXPECT_STREQ(hr == S_OK ? key.Text() : "red", "red");
    return hr;
  };
  ASSERT_EQ(Code("sort table Crew on Tint,Bogus"), S_OK);
  EXPECT_EQ(Run("select Name from Crew where Tint = 'red'"), (Lines{"Ann", "Cid", "Eve"}));
  EXPECT_NE(keyShortcut("Tint = 'red'"), S_OK);  // it scanned
  const struct {
    const char* statement;
    Lines lines;
  } cases[] = {
      {"delete from Crew where Name = 'Cid'", {}},
      {"sort table Crew on Tint", {}},
      {"select Name, System.RowState from Crew where Tint = 'red'",
       {"Ann|New", "Cid|Deleted", "Eve|New"}},
      {"update Crew set Tint = 'blue' where Name = 'Ann'", {}},
      {"update Crew set Tint = 'red' where Name = 'Ann'", {}},
      {"select Name from Crew where Tint = 'red'", {"Ann", "Eve"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Run(c.statement), c.lines) << c.statement;
  EXPECT_EQ(keyShortcut("Tint = 'red'"), S_OK);
}

}  // namespace
