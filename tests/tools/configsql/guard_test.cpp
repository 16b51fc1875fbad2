// The shell's guard: SQL habits refused with a hint, and every statement
// the configuration builders issue passed on exactly as written.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "StatementGuard.h"

namespace {

using configsql::GuardStatement;

TEST(StatementGuard, RefusesWhatTheLanguageReadsDifferently) {
  const struct {
    const char* statement;
    const char* hint;
  } cases[] = {
      {"select Parameter from ParameterDefaults where UpdateRate > 100 and UpdateRate < 10000",
       "use && for and"},
      {"select A from T where B = 1 or B = 2", "use || for or"},
      {"select A from T where B = 1 AND C = 2", "use && for and"},
      {"select A from T where B <> 1", "use != for <>"},
      {"select A from T where not B = 1", "there is no not"},
      {"select A from T where B like 'x%'", "wildcards * and ?"},
      {"select A from T where B in ('a', 'b')", "for in"},
      {"select A from T where B between 1 and 2", "for between"},
      {"select A from T where B = \"x\"", "single quotes"},
      {"select A from T order by A desc", "ascending only"},
      {"select A from T order by A asc", "ascending only"},
      {"select A from T limit 3", "select top N"},
      {"select count(*) from T", "no count(...)"},
      {"select top 3 A from T order by A", "before order by sorts"},
      {"select A from T where B = Red one", "cannot place 'one'"},
      {"select A from T where B = 1 extra", "cannot place 'extra'"},
      {"select A from T where B = 'open", "not closed"},
      {"select A from T where B = 1 & C = 2", "use && for and"},
      {"select Datefrom from T", "'from' is found inside 'Datefrom'"},
      {"select A from T where Name = 'indistinct ' ", "'distinct ' must follow select"},
      {"select A AS B from T", "cannot place 'AS'"},
      {"update T set A = \"x\" where B = 1", "single quotes"},
      {"update T set A = 'x' where B = 1 and C = 2", "use && for and"},
      {"delete from T where B = 1 or C = 2", "use || for or"},
      {"sort table T on A, B", "without blanks"},
      {"insert into T values (1)", "there is no insert"},
      {"commit", "use .commit or .save"},
      {"vacuum", "unknown statement 'vacuum'"},
  };
  for (const auto& c : cases) {
    const std::string refusal = GuardStatement(c.statement).refusal;
    EXPECT_NE(refusal.find(c.hint), std::string::npos) << c.statement << " -> " << refusal;
  }
}

TEST(StatementGuard, PassesTheBuildersStatementsUnchanged) {
  // As ConfigFileBuilder.cpp and ParmSetFromConfig.cpp issue them.
  char parameterRow[512];
  std::snprintf(parameterRow, sizeof parameterRow,
                "update ParameterDefaults set * = PS1|Parm%d|float|Group|SubGroup|Parm%d|Parm%d||||"
                "TPP||%f||||||||||||||||||||||||||||||||||||||||||||||||||||||||"
                " where 0",
                7, 7, 7, 50.0);
  const std::string statements[] = {
      "update AnalysisWindows set AnalysisWindowName = 'Window1', X = 0.0, Y = 0.0, "
      "Width = 0.857, Height = 0.938, Classification = 'This window has NOT been classified', "
      "WindowState = 'Normal' where 0",
      "update Desktops set Group = 'Group', SubGroup = 'SubGroup', DesktopName = 'Desktop1', "
      "AnalysisWindowName = 'Window1' where 0",
      "update Users set User = 'User1', ActiveDesktop = 'NewDesktop' where 0",
      "update ParameterDefaultsState set * = PS1||True",
      parameterRow,
      "select UpdateRate, DataSourceType from ParameterDefaults",
      "select Parameter, ParamType, UpdateRate, DataSourceType from ParameterDefaults",
      // And what .dump writes, which .read must take back.
      "update T set * = a and b|\"q\"|where x|| where 0 suggestedRowId 0-Id@host",
      "select top 2 distinct System.RowNumber, $Name from T where (A >= 1 && B != 'x y') || C = "
      "'*z?'",
      "select * from T where A = 1 order by B",
  };
  for (const std::string& statement : statements) {
    const configsql::GuardedStatement guarded = GuardStatement("  " + statement + " ;\t");
    EXPECT_EQ(guarded.refusal, "") << statement;
    EXPECT_EQ(guarded.text, statement);
  }
}

}  // namespace
