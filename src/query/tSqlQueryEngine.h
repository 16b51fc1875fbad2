// tSqlQueryEngine: runs statements of the configuration's query language
// against a config database (tConfigSource).
//
// Statements: select, update (with its variants updat2, updat3), delete,
// create, drop, sort and comment; commit is recognised and refused. A caller
// hands one statement text at a time to Query; the engine reads it into a
// statement value by its leading keyword (Statement.h, without looking at
// any table), then the executor of its kind (StatementExecutors.h) binds
// the named table and runs it, writing result lines into a tQueryString.
//
// Lexical rules: the leading keyword is the text before the first blank;
// clause keywords are found with their blanks ("from ", "where ",
// " order by "...), without regard to case, wherever they stand (update's
// where clause is the last "where "). Clause texts are stripped of white
// space. Names of tables and columns compare without regard to case.
//
// Where clauses go to the embedded tSqlEquationEngine. A table may carry a
// primary-key index, built by "sort table T on K1,K2" and kept current by
// update and purge; a where clause that compares a key column for equality
// is then answered from one bin of the index instead of a scan of all rows.
// The index is used only where it cannot give a different answer than the
// scan.
//
// Failures return HRESULT codes and write one diagnostic to the debug
// output, beginning with the class and operation it comes from; nothing
// reaches the console. A statement of any length and nesting runs without
// recursion on the statement's structure.
//
// Ownership: the engine owns its own result set and equation engine; the
// database object is borrowed and must outlive the engine (or be replaced
// with attachConfigSource). Pointers into the bound table are dropped when
// the source's tree-changed flag is set (a load) or the root changes.
//
// Thread safety: one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "query/tQueryString.h"
#include "query/tSqlEquationEngine.h"
#include "templatelib/Result.h"
#include "templatelib/UniqueId.h"
#include "templatelib/tAttribute.h"
#include "templatelib/tConfigSource.h"
#include "templatelib/tString.h"

namespace query {
class TableSession;
class SelectExecutor;
}  // namespace query

class tSqlQueryEngine {
 public:
  // Names a row no statement names: fills `rowId`, S_OK or the failure.
  using RowIdSource = HRESULT (*)(tString* rowId);

  // With a null source the engine uses the process's default source. New
  // rows are named by `rowIds`, by default the process-wide unique ids; an
  // owner with ids of its own (a test that wants them fixed) hands those.
  explicit tSqlQueryEngine(tConfigSource* source = nullptr,
                           RowIdSource rowIds = &schema::GetUniqueId);
  ~tSqlQueryEngine();
  tSqlQueryEngine(const tSqlQueryEngine&) = delete;
  tSqlQueryEngine& operator=(const tSqlQueryEngine&) = delete;

  // Binds the engine to `source` (null: the default source) and forgets
  // everything bound before. Always S_OK.
  HRESULT attachConfigSource(tConfigSource* source);

  // Runs one statement. Result lines go to `results`, or to the engine's
  // own result set when null; either is cleared first. `delimiter` joins
  // the values of a line. `ordering`, when given, places each line of a
  // select without " order by " (see tQueryString::InsertOrdered).
  HRESULT Query(const char* statement, tQueryString* results = nullptr, char delimiter = '|',
                tQueryOrderingCallback ordering = nullptr);

  // The engine's own result set (Query without one writes here).
  tQueryString& OwnResults() { return ownResults_; }

 private:
  struct Parsed;
  // The last statement read; the next one reuses its buffers.
  std::unique_ptr<Parsed> parsed_;
  // The bound source and table, and where evaluation (StatementExecutors.h).
  std::unique_ptr<query::TableSession> session_;
  // Select keeps its buffers from one statement to the next.
  std::unique_ptr<query::SelectExecutor> select_;
  tQueryString ownResults_;
};
