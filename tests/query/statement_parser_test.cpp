// The statement parser alone: statement text to the printed statement
// value, and bad text to the part at fault and the line the engine reports.
#include <gtest/gtest.h>

#include <string>

#include "query/Statement.h"

namespace {

TEST(StatementParser, ReadsEachKindByTheLexicalRules) {
  const struct {
    const char* text;
    const char* printed;
  } cases[] = {
      {"SELECT Name FROM Params WHERE Rate = 9",
       "select columns<Name> table<Params> where<Rate = 9> all=0 top=0 distinct=0 orderBy=0 "
       "column<>"},
      {"select top 5 Name from Params",
       "select columns<Name> table<Params> where<1> all=1 top=5 distinct=0 orderBy=0 column<>"},
      {"select top Name from Params",
       "select columns<Name> table<Params> where<1> all=1 top=1 distinct=0 orderBy=0 column<>"},
      {"select top 0 Name from Params",
       "select columns<Name> table<Params> where<1> all=1 top=0 distinct=0 orderBy=0 column<>"},
      {"select distinct Kind from Params",
       "select columns<Kind> table<Params> where<1> all=1 top=0 distinct=1 orderBy=0 column<>"},
      {"select Name , Rate,Gain from Params",
       "select columns<Name,Rate,Gain> table<Params> where<1> all=1 top=0 distinct=0 orderBy=0 "
       "column<>"},
      {"select Name,Rate from Params where Rate > 1 order by Rate ",
       "select columns<Name,Rate> table<Params> where<Rate > 1> all=0 top=0 distinct=0 orderBy=1 "
       "column<Rate>"},
      // "distinct " inside the where text is not the keyword.
      {"select Name from Params where Name = 'distinct x'",
       "select columns<Name> table<Params> where<Name = 'distinct x'> all=0 top=0 distinct=0 "
       "orderBy=0 column<>"},
      // Update: the last "where " is the clause; suggestedRowId after either.
      {"update Params set Name = 'a where b' where Rate = 9 suggestedRowId  id7 ",
       "update table<Params> set<Name = 'a where b'> where<Rate = 9> id<id7> equals=1 row=0 "
       "rowText<'a where b'> name<Name> value<a where b> malformed=0"},
      {"update Params set * = a|b suggestedRowId x1",
       "update table<Params> set<* = a|b> where<0> id<x1> equals=1 row=1 rowText<a|b> "
       "malformed=0"},
      // A value ends at a comma outside quotes; doubled quotes are one.
      {"updat2 Params set Kind = 'It''s, quoted ', Name = bare where 0",
       "updat2 table<Params> set<Kind = 'It''s, quoted ', Name = bare> where<0> id<> equals=1 "
       "row=0 rowText<'It''s, quoted ', Name = bare> name<Kind> value<It's, quoted> name<Name> "
       "value<bare> malformed=0"},
      {"updat3 Params set Gain = 1, Kind where Rate = 9",
       "updat3 table<Params> set<Gain = 1, Kind> where<Rate = 9> id<> equals=1 row=0 "
       "rowText<1, Kind> name<Gain> value<1> malformed=1"},
      {"update Params set Gain where 1",
       "update table<Params> set<Gain> where<1> id<> equals=0 row=0 rowText<> malformed=0"},
      {"delete from Params where Rate = 9", "delete table<Params> where<Rate = 9> all=0"},
      {"delete * from Params", "delete table<Params> where<1> all=1"},
      // A type's own commas stay inside it.
      {"create table Flags (Name String, On list(True,False))",
       "create table<Flags> names<Name|On> types<String|list(True,False)>"},
      {"create table Empty ()", "create table<Empty> names<> types<>"},
      {"DROP TABLE Flags", "drop table<Flags>"},
      // "on " counts only as a word.
      {"sort table DataStorageInformation on System.RowNumber",
       "sort table<DataStorageInformation> keys<System.RowNumber>"},
      {"sort table Params on Name, Nope", "sort table<Params> keys<Name, Nope>"},
      {"comment anything at all", "comment"},
  };
  // One value read into again and again, as the engine does: nothing of
  // one statement may show in the next.
  query::Statement statement;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    query::ParseFailure failure;
    ASSERT_TRUE(query::ParseStatement(c.text, &statement, &failure)) << failure.fragment;
    EXPECT_EQ(query::PrintStatement(statement), c.printed);
  }
}

TEST(StatementParser, NamesWhatItCannotRead) {
  const struct {
    const char* text;
    const char* fragment;
    const char* report;
  } cases[] = {
      {"select\tName from Params", "select\tName", ""},  // a tab does not end the keyword
      {" select Name from Params", "", ""},
      {"commit", "commit", ""},
      {"frobnicate Params", "frobnicate", ""},
      {"select from Params", "from Params", ""},
      {"select Name Params", "Name Params", ""},
      {"update Params Name = 1", "Params Name = 1",
       "tSqlQueryEngine: Illegal update statement, missing 'set' clause (update Params Name = "
       "1)\n"},
      {"update\t", "update\t",
       "tSqlQueryEngine: Illegal update statement, missing 'update' clause (update\t)\n"},
      {"delete Params", "delete Params",
       "tSqlQueryEngine: Illegal delete statement, missing 'from' clause (delete Params)\n"},
      {"delete", "delete",
       "tSqlQueryEngine: Illegal delete statement, missing delete clause (delete)\n"},
      {"create table Bad (A|B String)", "A|B String",
       "tSqlQueryEngine: Query (create table Bad (A|B String)) failed, column (A|B) or its type "
       "holds '|' or a line break\n"},
      {"create table T", "create table T", ""},
      {"create table A\nB (X String)", "A\nB",
       "tSqlQueryEngine: Query (create table A\nB (X String)) failed, table name holds a line "
       "break\n"},
      {"drop Flags", "drop Flags", ""},
      {"sort table Params by Name", "Params by Name", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    query::Statement statement;
    query::ParseFailure failure;
    ASSERT_FALSE(query::ParseStatement(c.text, &statement, &failure));
    EXPECT_EQ(failure.fragment, c.fragment);
    EXPECT_EQ(failure.report, c.report);
  }
}

}  // namespace
