// The shell's guard in front of the statement engine.
//
// People come to configsql with the habits of SQL shells. The statement
// language reads many of those habits without complaint and gives a wrong
// answer: "and" is not an operator, so "where A > 1 and B < 2" compares A
// with the text "1 and B < 2"; "desc" after an order-by column is ignored;
// a clause keyword is found wherever its letters stand, also inside a name.
// The engine must keep those rules (the configuration builders rely on
// them), so the shell looks at every typed statement first, the way the
// engine will cut it, and refuses what would not mean what it says, with
// one line telling what to write instead.
//
// The guard never rewrites a statement it passes on: the text it returns is
// the line with its surrounding white space and one trailing ";" removed,
// nothing else. It only reads the statement; the engine decides the rest.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace configsql {

// A statement as the shell understands it before running it.
struct GuardedStatement {
  std::string text;                // what goes to the engine
  std::string refusal;             // empty when the statement may run
  std::string keyword;             // the leading keyword in lower case ("select", "updat2", ...)
  std::string table;               // the table the statement names, when it names one
  std::vector<std::string> items;  // a select's items, as the engine will split them
  std::string where;               // the where text, empty without one
  bool hasWhere = false;
};

// Parses one statement line. `refusal` says why it must not run.
GuardedStatement GuardStatement(std::string_view line);

// A line the shell skips: empty, or a "--" comment.
bool IsBlankOrComment(std::string_view line);

// The line without surrounding white space (blank, tab, CR, LF, VT, FF).
std::string_view StripSpace(std::string_view text);

}  // namespace configsql
