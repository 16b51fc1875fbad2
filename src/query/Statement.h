// Statements of the query language as values: what one statement text says,
// read without looking at any table. ParseStatement is pure; the executors
// (StatementExecutors.h) run the values against a config database.
//
// Clause texts keep the lexical rules of tSqlQueryEngine.h: keywords are
// found with their blanks wherever they stand, clause texts are stripped of
// white space, and nothing is checked here that needs the table (column
// names, where clauses).
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "templatelib/tString.h"

namespace query {

//   select [top N] [distinct ] ITEMS from T [where W] [ order by C]
struct SelectStatement {
  tString columns;  // the items, joined by "," (blanks between them dropped)
  tString table;
  tString where;          // "1" without a where clause
  bool matchAll = false;  // no where clause: every row
  int32_t top = 0;        // 0: no limit
  bool distinct = false;
  bool orderBy = false;
  tString orderByColumn;
};

// One "C = V" of an update's column form, as written (quotes undone).
struct Assignment {
  tString name;
  tString value;
};

//   update|updat2|updat3 T set SET [where W] [ suggestedRowId ID]
struct UpdateStatement {
  enum Mode { kChangeOrInsert, kChangeOnly, kInsertOnly };
  Mode mode = kChangeOrInsert;
  tString table;
  tString set;             // the set clause
  tString where;           // "0" without a where clause: an insert
  tString suggestedRowId;  // the id an inserted row gets, or empty
  bool setHasEquals = false;
  bool wholeRow = false;  // "set * = F1|F2|..."
  tString rowText;        // the set clause after its first "=", stripped
  // The column form's assignments in order, up to one without "=", which
  // makes the form malformed.
  std::vector<Assignment> assignments;
  bool malformed = false;
};

//   delete [anything ]from T [where W]
struct DeleteStatement {
  tString table;
  tString where;  // "1" without a where clause
  bool matchAll = false;
};

//   create table T (Name Type, ...)
struct CreateStatement {
  tString table;
  tString names;  // '|'-joined, as a TableDefinition holds them
  tString types;  // '|'-joined, as a TableType holds them
};

//   drop table T
struct DropStatement {
  tString table;
};

//   sort table T on K1,K2
struct SortStatement {
  tString table;
  tString keys;  // the text after "on ", as written
};

//   comment ...
struct CommentStatement {};

using Statement = std::variant<SelectStatement, UpdateStatement, DeleteStatement, CreateStatement,
                               DropStatement, SortStatement, CommentStatement>;

// Why a text is no statement: the part of the text at fault, and the line
// the engine reports for it (empty where it reports nothing).
struct ParseFailure {
  std::string fragment;
  std::string report;
};

// Reads one statement text into `statement`, or says in `failure` why it is
// none. What `statement` held before is replaced (a value of the same kind
// lends its buffers). A text a statement does not set is empty.
bool ParseStatement(const char* text, Statement* statement, ParseFailure* failure);

// A one-line picture of a statement value, every field shown
// ("select columns<Name> table<T> where<1> all top=0 ..."), for tests and
// diagnostics.
std::string PrintStatement(const Statement& statement);

}  // namespace query
