// The executors of tSqlQueryEngine: one per statement kind, each running a
// statement value (Statement.h) against the table a TableSession binds.
//
// Executors report failures as the engine does: an HRESULT and at most one
// diagnostic line on the debug output, naming the statement text.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "query/Statement.h"
#include "query/tQueryString.h"
#include "query/tSqlEquationEngine.h"
#include "templatelib/Result.h"
#include "templatelib/tConfigSource.h"
#include "templatelib/tGenericContainer.h"
#include "templatelib/tHash.h"
#include "templatelib/tString.h"

namespace query {

// A walk over the candidate rows of the bound table: every row in list
// order, or the rows that one bin of the primary-key index holds under the
// looked-up key, gathered when the walk starts and put in list order.
struct RowCursor {
  // Rows of a large table lie all over the heap: the walk asks for them
  // ahead of use, the row itself kAhead rows before, its text half as many.
  static constexpr int kAhead = 8;
  std::optional<tGenericContainerIterator<tAttribute>> rows;
  std::optional<tGenericContainerIterator<tAttribute>> textAhead;
  std::optional<tGenericContainerIterator<tAttribute>> rowAhead;
  const std::vector<tAttribute*>* indexRows = nullptr;  // null: every row
  size_t next = 0;
};

// What one statement runs against: the source and its bound table (kept
// from one statement to the next while the tree stays the same), the
// result set and delimiter, and the where clause the rows are matched by.
class TableSession {
 public:
  // Where the ids of inserted rows come from when a statement suggests none.
  using RowIdSource = HRESULT (*)(tString* rowId);

  // `source` must not be null.
  TableSession(tConfigSource* source, RowIdSource newRowId)
      : source_(source), newRowId_(newRowId) {}

  // Binds `source` and forgets the table bound before.
  void Attach(tConfigSource* source);
  // Binds the source's current tree; false when it holds none. A new tree
  // drops the bound table.
  bool BindRoot();
  // The statement about to run and where its results go.
  void Begin(const char* statement, tQueryString* results, char delimiter,
             tQueryOrderingCallback ordering);

  // Binds the named table; with `useCache` the table bound last is kept
  // when the name matches and the tree did not change.
  HRESULT BindTable(const char* name, bool useCache);
  void BindNodes(const tTableNodes& nodes) { table_ = nodes; }
  void ForgetTable() { table_ = tTableNodes{}; }
  const tTableNodes& table() const { return table_; }
  void MarkTableChanged() { table_.table->rowState = kTableChanged; }

  tConfigSource& source() { return *source_; }
  const char* statement() const { return statement_; }
  tQueryString& results() { return *results_; }
  char delimiter() const { return delimiter_; }
  tQueryOrderingCallback ordering() const { return ordering_; }
  HRESULT NewRowId(tString* rowId) const { return newRowId_(rowId); }

  // Loads `where` against the bound table's columns, unless `matchAll`
  // (every row matches; the text is not read). The text must stay valid
  // for the walks that follow.
  HRESULT LoadWhere(const char* where, bool matchAll);
  // With `includeDeleted` the walk scans: the index may lack Deleted rows.
  void StartWalk(RowCursor* cursor, bool includeDeleted);
  tAttribute* NextMatch(RowCursor* cursor, bool includeDeleted);
  // The row a where text "System.RowNumber = ID" names (null when none)
  // and the row id text; E_FAIL when the text has no "=".
  HRESULT RowNamedByWhere(const char* where, tString* rowId, tAttribute** row);

 private:
  tConfigSource* source_;
  RowIdSource newRowId_;
  tAttribute* boundRoot_ = nullptr;
  tTableNodes table_;
  const char* statement_ = "";
  tQueryString* results_ = nullptr;
  char delimiter_ = '|';
  tQueryOrderingCallback ordering_ = nullptr;

  tSqlEquationEngine equation_;
  const char* where_ = "";
  bool matchAll_ = false;
  tString key_;
  std::vector<tAttribute*> indexRows_;  // the rows an index walk visits
};

// The key text of an equality on a key column of `index`, from a where
// clause already loaded into `equation`. E_FAIL without key columns,
// E_NOTIMPL when the clause cannot use the index (the index lacks a key
// column, "||", a wildcard, a key compared as other than text),
// E_UNEXPECTED when no key column is compared.
HRESULT PrimaryKeyOfWhere(tHash* index, const char* where, const tSqlEquationEngine& equation,
                          tString* key);

// The row state a where text "System.RowState = X" names by X's first
// letter (D, E, U, N; A: kRowAny, every row), or -1.
int32_t RowStateOfLetter(const char* where);

// Select keeps its item list and line buffer from one statement to the next.
class SelectExecutor {
 public:
  HRESULT Run(TableSession& session, const SelectStatement& select);

 private:
  // One item of the column list, resolved against the bound table.
  struct Item {
    enum Kind { kWholeRow, kColumn, kRowNumber, kRowState, kErrorState, kUnknown };
    Kind kind = kUnknown;
    bool fromPrevious = false;  // "$": the row's value before its last edit
    int32_t column = -1;        // kColumn: the field's position
    tString text;               // the item as written, for messages
  };
  struct FieldSpanAt {
    int32_t start;
    int32_t length;
  };

  HRESULT RunOnTable();
  HRESULT SelectTableMetadata(bool* answered);
  HRESULT SelectMatchingRows();
  HRESULT ResolveItems();
  // Appends the row's line; sets `*stop` when a "top" count is reached.
  HRESULT AddRow(tAttribute* row, bool* stop);
  // True when every item is a column of the row as it is now and each line
  // simply goes at the end (no distinct, no ordering callback): AddPlainRow
  // then gives the lines AddRow would.
  bool IsPlainProjection() const;
  // AddRow for a plain projection: the row's fields go straight from the
  // row into the result set.
  HRESULT AddPlainRow(tAttribute* row, bool* stop);
  // The row's line into line_; its length, or -1 (E_FAIL or out of memory
  // in `*hr`).
  int32_t BuildLine(tAttribute* row, HRESULT* hr);
  // Finds the spans of the row's fields up to the highest selected column;
  // the number of fields found.
  int32_t FindFieldSpans(const tString& row);
  HRESULT SelectByRowId();
  HRESULT SelectByRowState();
  HRESULT SelectByErrorState();
  HRESULT SelectFromArchive();
  HRESULT SortResults();

  TableSession* session_ = nullptr;
  const SelectStatement* select_ = nullptr;
  bool error_ = false;
  std::vector<Item> items_;
  int32_t maxColumn_ = -1;
  std::vector<FieldSpanAt> fieldSpans_;
  std::vector<tQueryString::Piece> pieces_;  // AddPlainRow's, one per item
  tString line_;
};

HRESULT RunUpdate(TableSession& session, const UpdateStatement& update);
HRESULT RunDelete(TableSession& session, const DeleteStatement& remove);
HRESULT RunCreate(TableSession& session, const CreateStatement& create);
HRESULT RunDrop(TableSession& session, const DropStatement& drop);
HRESULT RunSort(TableSession& session, const SortStatement& sort);

}  // namespace query
