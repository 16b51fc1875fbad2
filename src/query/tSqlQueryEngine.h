// tSqlQueryEngine: runs statements of the configuration's query language
// against a config database (tConfigSource).
//
// Statements: select, update (with its variants updat2, updat3), delete,
// create, drop, sort and comment; commit is recognised and refused. A caller
// hands one statement text at a time to Query; the engine recognises it by
// its leading keyword, cuts it into clauses, binds the named table and runs
// it, writing result lines into a tQueryString.
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
#include "templatelib/tAttribute.h"
#include "templatelib/tConfigSource.h"
#include "templatelib/tString.h"

// Statement kinds.
enum : int32_t {
  kStatementSelect = 0,
  kStatementUpdate = 2,
  kStatementDelete = 3,
  kStatementCreate = 4,
  kStatementNone = 6,
  kStatementComment = 7,
  kStatementSort = 8,
  kStatementDrop = 9,
};

class tSqlQueryEngine {
 public:
  // With a null source the engine uses the process's default source.
  explicit tSqlQueryEngine(tConfigSource* source = nullptr);
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

  // ---- steps of Query, public for tests -----------------------------------
  HRESULT parseStatement(const char* text);
  HRESULT executeStatement();
  // Binds a table for the statement; with `useCache` the table bound last
  // is kept when the name matches and the tree did not change.
  HRESULT setDatabaseTable(const char* tableName, bool useCache);
  // The row's value of a column ("System.RowNumber": the row id) from
  // `rowText`. E_FAIL for a column the table lacks or a missing field.
  HRESULT getColumnValue(const tAttribute* row, const char* rowText, const char* column,
                         tString* value);
  // The suggested row id once, else a fresh unique id.
  HRESULT getNextRowId(tString* rowId);
  // The key text of an equality on a key column of the bound table's
  // primary-key index. E_FAIL without an index, E_NOTIMPL when the clause
  // cannot use it, E_UNEXPECTED when no key column is compared.
  HRESULT GetPrimaryKeyValueInWhereEquation(tString* key);

  // ---- what the last statement parsed to (tests, configsql) ---------------
  int32_t StatementKind() const { return kind_; }
  const tString& WhereText() const { return where_; }
  const tString& ColumnList() const { return columns_; }
  const tString& FromTable() const { return fromTable_; }
  const tString& UpdateTable() const { return updateTable_; }
  const tString& SetText() const { return setText_; }
  const tString& OrderByColumn() const { return orderByColumn_; }
  const tString& SuggestedRowId() const { return suggestedRowId_; }
  int32_t TopCount() const { return top_; }
  bool Distinct() const { return distinct_; }
  bool MatchAll() const { return matchAll_; }
  bool OrderBy() const { return orderBy_; }
  const tTableNodes& BoundTable() const { return table_; }

 private:
  struct RowCursor;
  struct SelectItem;
  struct Assignment;

  // Clause parsers.
  HRESULT parseSelectStatement();
  HRESULT parseUpdateStatement();
  HRESULT parseDeleteStatement();
  HRESULT parseAndExecuteCreateStatement();
  HRESULT parseAndExecuteDropStatement();
  HRESULT parseAndExecuteSortStatement();
  // Cuts " suggestedRowId ID" off the clause into the suggested row id.
  bool cutSuggestedRowId(tString* clause);

  // Statements.
  HRESULT handleSelectStatement();
  HRESULT handleUpdateStatement();
  HRESULT handleDeleteStatement();

  // Update.
  HRESULT updateByRowId(bool wholeRow, const char* wholeRowText);
  HRESULT setTableMetadata(tAttribute* node);
  HRESULT insertWholeRow(const char* wholeRowText, const char* rowId);
  HRESULT insertFilledRow();
  HRESULT replaceWholeRow(tAttribute* row, const char* wholeRowText);
  HRESULT parseSetClause();
  HRESULT applySetClause(tAttribute* row, bool isNewRow);
  void rewriteMovingMapOverlaysWhere();
  bool acceptRowId(const char* rowId);
  // Keeps the index in step with a row's new value; called before the
  // row's state becomes Edited.
  void moveRowInIndex(tAttribute* row, const char* oldText, bool isNewRow);

  // Select.
  HRESULT resolveSelectItems();
  HRESULT addRowToResults(tAttribute* row, bool* stop);
  // Finds the spans of the row's fields up to the highest selected column;
  // the number of fields found.
  int32_t FindFieldSpans(const char* rowText);
  HRESULT selectByRowId();
  HRESULT selectByRowState();
  HRESULT selectByErrorState();
  HRESULT selectFromArchive();
  HRESULT sortResults();

  // Delete.
  HRESULT deleteByRowId();
  HRESULT purgeByRowState();

  // Row matching: loads the where clause against the bound table's
  // columns (unless it matches all rows), then walks the candidates.
  HRESULT loadWhereClause();
  // With `includeDeleted` the walk scans: the index may lack Deleted rows.
  void startRowWalk(RowCursor* cursor, bool includeDeleted);
  tAttribute* getNextMatchingRow(RowCursor* cursor, bool includeDeleted);
  tAttribute* findRowById(const char* rowId);
  // The row a where text "System.RowNumber = ID" names (null when none) and
  // the row id text; E_FAIL when the text has no "=".
  HRESULT rowNamedByWhere(tString* rowId, tAttribute** row);

  void forgetTable();
  void markTableChanged() { table_.table->rowState = kTableChanged; }
  const char* statementText() const;

  // Binding.
  tConfigSource* source_ = nullptr;
  tAttribute* boundRoot_ = nullptr;
  tTableNodes table_;

  // Statement.
  int32_t kind_ = kStatementNone;
  tString statement_;
  tString columns_;
  tString fromTable_;
  tString where_;
  bool orderBy_ = false;
  tString orderByColumn_;
  int32_t top_ = 0;
  bool distinct_ = false;
  bool matchAll_ = false;
  tString updateTable_;
  tString setText_;
  tString suggestedRowId_;
  bool updateOnly_ = false;
  bool insertOnly_ = false;

  // Result.
  char delimiter_ = '|';
  tQueryOrderingCallback ordering_ = nullptr;
  tQueryString* results_ = nullptr;
  tQueryString ownResults_;

  // Evaluation and status.
  tSqlEquationEngine equation_;
  bool equationSet_ = false;
  bool error_ = false;

  // Scratch kept from one statement to the next.
  tString line_;
  tString scratch_;
  tString key_;
  std::vector<tAttribute*> indexRows_;  // the rows an index walk visits
  std::unique_ptr<SelectItem[]> selectItems_;
  int32_t selectItemCount_ = 0;
  int32_t selectItemCapacity_ = 0;
  int32_t maxSelectColumn_ = -1;
  struct FieldSpanAt {
    int32_t start;
    int32_t length;
  };
  std::vector<FieldSpanAt> fieldSpans_;
  std::unique_ptr<Assignment[]> assignments_;
  int32_t assignmentCount_ = 0;
  int32_t assignmentCapacity_ = 0;
};
