// The update executor, for update and its variants.
//
//   update T set * = F1|F2|...  [where W] [ suggestedRowId ID]
//   update T set C1 = V1, C2 = 'V 2' [where W] [ suggestedRowId ID]
//
// "update" changes every matching row and inserts one when none matches;
// "updat2" only changes, "updat3" only inserts. A where text "0" (also what
// a statement without where clause gets) or "False" matches no row.
//
// The assignments are checked against the table once per statement and
// applied to a copy of each row; the row takes the copy only when every
// assignment succeeded, so a failing statement never leaves half-changed or
// half-filled rows. Values a configuration file could not load back as they
// were ('|', line breaks in a value; a row id with white space or a leading
// brace) are refused.
#include <cstring>

#include "query/QueryText.h"
#include "query/StatementExecutors.h"
#include "templatelib/DebugOut.h"
#include "templatelib/tTableRows.h"

namespace query {

namespace {

bool HasLineBreak(const char* text) {
  return text != nullptr &&
         (std::strchr(text, '\r') != nullptr || std::strchr(text, '\n') != nullptr);
}

// Cuts or pads a whole row to the table's column count. A row cut short may
// end in white space that was inside it (the text after the last kept field
// is gone); a configuration file cannot keep white space at the end of a
// line, so it goes here rather than silently on the next load.
HRESULT FitRowToColumns(tString& value, int32_t fieldCount) {
  HRESULT hr = value.SetFieldCount(fieldCount, '|');
  if (hr != S_OK || value.Text() == nullptr) return hr;
  const char* text = value.Text();
  int32_t end = static_cast<int32_t>(std::strlen(text));
  int32_t trailing = 0;
  while (end - trailing > 0 && IsStripSpace(text[end - trailing - 1])) ++trailing;
  return trailing == 0 ? S_OK : value.Truncate(trailing);
}

// The where text of a MovingMapOverlays update with the quotes inside its
// two constants escaped, so that the equation engine reads them as part of
// the text; false when the text needs no rewriting.
bool RewriteMovingMapOverlaysWhere(const char* where, tString* rewritten) {
  const int32_t groupAt = FindFrom(where, 0, "OverlayGroup = '");
  if (groupAt < 0) return false;
  const int32_t nameAt = FindFrom(where, 0, "OverlayName = '");
  if (nameAt < 0) return false;
  const int32_t groupStart = groupAt + 16;
  const int32_t nameStart = nameAt + 15;
  const int32_t groupEnd = FindFrom(where, groupStart, "')");
  const int32_t nameEnd = FindFrom(where, nameStart, "')");
  if (groupEnd < 0 || nameEnd < 0) {
    DebugOut("zarnEquationSolver::handleUpdateStatement MovingMap Overlays parse error\n");
    return false;
  }
  auto quoted = [&](int32_t start, int32_t end) {
    for (int32_t i = start; i < end; ++i) {
      if (where[i] == '\'') return true;
    }
    return false;
  };
  if (!quoted(groupStart, groupEnd) && !quoted(nameStart, nameEnd)) return false;
  auto escaped = [&](int32_t start, int32_t end, tString* out) {
    out->Assign("");
    for (int32_t i = start; i < end; ++i) {
      if (where[i] == '\'') out->AppendChar('\xF4');
      out->AppendChar(where[i]);
    }
  };
  tString group;
  tString name;
  escaped(groupStart, groupEnd, &group);
  escaped(nameStart, nameEnd, &name);
  return rewritten->Format("(OverlayGroup = '%s') && (OverlayName = '%s')", group.Text(),
                           name.Text()) == S_OK;
}

// One update statement run against the bound table.
class UpdateRun {
 public:
  UpdateRun(TableSession& session, const UpdateStatement& update)
      : session_(session), update_(update), table_(session.table()) {}

  HRESULT Run();

 private:
  bool changeOnly() const { return update_.mode == UpdateStatement::kChangeOnly; }
  bool insertOnly() const { return update_.mode == UpdateStatement::kInsertOnly; }
  const char* rowText() const { return update_.rowText.Text(); }

  HRESULT RunOnMatchingRows();
  HRESULT UpdateByRowId();
  HRESULT SetTableMetadata(tAttribute* node);
  HRESULT NextRowId(tString* rowId);
  bool AcceptRowId(const char* rowId);
  HRESULT InsertWholeRow(const char* rowId);
  HRESULT ReplaceWholeRow(tAttribute* row);
  HRESULT InsertFilledRow();
  // Checks the assignments against the table's columns.
  HRESULT ResolveAssignments();
  HRESULT ApplyAssignments(tAttribute* row, bool isNewRow);
  // Keeps the index in step with a row's new value; called before the
  // row's state becomes Edited.
  void MoveRowInIndex(tAttribute* row, const char* oldText, bool isNewRow);

  TableSession& session_;
  const UpdateStatement& update_;
  const tTableNodes& table_;
  const char* where_ = "";
  tString rewrittenWhere_;
  bool matchAll_ = false;
  bool suggestedTaken_ = false;
  std::vector<int32_t> columns_;  // the assignments' field positions
};

HRESULT UpdateRun::Run() {
  if (!update_.setHasEquals) return E_FAIL;
  if (update_.wholeRow && HasLineBreak(rowText())) {
    DebugOut("tSqlQueryEngine: Query (%s) failed, row value holds a line break\n",
             session_.statement());
    return E_FAIL;
  }
  where_ = update_.where.Text();
  matchAll_ = update_.where.Compare("1") == 0;
  if (update_.table.CompareNoCase("MovingMapOverlays") == 0 &&
      RewriteMovingMapOverlaysWhere(where_, &rewrittenWhere_)) {
    where_ = rewrittenWhere_.Text();
  }
  if (ContainsOutsideQuotes(where_, "System.RowNumber")) return UpdateByRowId();
  if (ContainsOutsideQuotes(update_.set.Text(), "System.TableDefinition")) {
    return SetTableMetadata(table_.definition);
  }
  if (ContainsOutsideQuotes(update_.set.Text(), "System.TableType")) {
    return SetTableMetadata(table_.type);
  }
  if (!update_.wholeRow && ResolveAssignments() != S_OK) return E_FAIL;
  return RunOnMatchingRows();
}

HRESULT UpdateRun::RunOnMatchingRows() {
  const bool whereZero = std::strcmp(where_, "0") == 0;
  if (whereZero) {
    if (update_.wholeRow) return changeOnly() ? S_OK : InsertWholeRow(nullptr);
    matchAll_ = true;  // the clause is not loaded: no row can match it
  }
  if (session_.LoadWhere(where_, matchAll_) != S_OK) return E_FAIL;
  if (!whereZero && tString::CompareNoCase(where_, "False") != 0) {
    RowCursor cursor;
    session_.StartWalk(&cursor, false);
    bool matched = false;
    HRESULT result = S_OK;
    while (tAttribute* row = session_.NextMatch(&cursor, false)) {
      if (insertOnly()) return S_OK;
      matched = true;
      HRESULT hr = update_.wholeRow ? ReplaceWholeRow(row) : ApplyAssignments(row, false);
      if (hr != S_OK) result = E_FAIL;
    }
    if (matched) return result;
  }
  if (changeOnly()) return S_OK;
  return update_.wholeRow ? InsertWholeRow(nullptr) : InsertFilledRow();
}

HRESULT UpdateRun::SetTableMetadata(tAttribute* node) {
  if (node == nullptr) return E_FAIL;
  if (HasLineBreak(rowText())) {
    DebugOut("tSqlQueryEngine: Query (%s) failed, row value holds a line break\n",
             session_.statement());
    return E_FAIL;
  }
  if (node->value.Assign(update_.rowText) != S_OK) return E_OUTOFMEMORY;
  node->rowState = kRowEdited;
  // A new column list brings its own field count.
  if (node == table_.definition) {
    node->errorStateOrFieldCount = tString::FieldCount(node->value.Text(), '|');
  }
  return S_OK;
}

HRESULT UpdateRun::NextRowId(tString* rowId) {
  // The suggested row id serves once.
  if (!suggestedTaken_ && !update_.suggestedRowId.IsNullOrEmpty()) {
    suggestedTaken_ = true;
    return rowId->Assign(update_.suggestedRowId);
  }
  return session_.NewRowId(rowId);
}

bool UpdateRun::AcceptRowId(const char* rowId) {
  bool usable = rowId != nullptr && *rowId != '\0' && *rowId != '{' && *rowId != '}';
  for (const char* p = rowId; usable && *p != '\0'; ++p) usable = !IsStripSpace(*p);
  if (!usable) {
    DebugOut(
        "tSqlQueryEngine: Query (%s) failed, row id (%s) cannot be kept in a configuration "
        "file\n",
        session_.statement(), rowId != nullptr ? rowId : "");
  }
  return usable;
}

HRESULT UpdateRun::InsertWholeRow(const char* rowId) {
  tString id;
  if (rowId == nullptr) {
    if (NextRowId(&id) != S_OK) return E_OUTOFMEMORY;
    rowId = id.Text();
  }
  if (!AcceptRowId(rowId)) return E_FAIL;
  tAttribute* row = tAttribute::CreateChild(table_.contents, rowId, rowText(), kRowNew);
  if (row == nullptr) return E_OUTOFMEMORY;
  session_.MarkTableChanged();
  if (FitRowToColumns(row->value, table_.definition->errorStateOrFieldCount) != S_OK) {
    return E_OUTOFMEMORY;
  }
  return AddRowToPrimaryKeyIndex(*table_.contents, *table_.definition, row);
}

HRESULT UpdateRun::ReplaceWholeRow(tAttribute* row) {
  tString value;
  if (value.Assign(rowText()) != S_OK ||
      FitRowToColumns(value, table_.definition->errorStateOrFieldCount) != S_OK) {
    return E_OUTOFMEMORY;
  }
  session_.MarkTableChanged();
  row->previousValue = std::move(row->value);
  row->value = std::move(value);
  MoveRowInIndex(row, row->previousValue.Text(), false);
  row->rowState = kRowEdited;
  return S_OK;
}

void UpdateRun::MoveRowInIndex(tAttribute* row, const char* oldText, bool isNewRow) {
  tHash* index = table_.contents->childIndex;
  if (index == nullptr) return;
  if (isNewRow) {
    // A new row goes in under every key, an empty one too: the index must
    // find what a scan of the rows would find.
    AddRowToPrimaryKeyIndex(*table_.contents, *table_.definition, row);
    return;
  }
  tString oldKey;
  tString newKey;
  // A Deleted row that an update by row id brings back may be missing from
  // the index (a sort leaves Deleted rows out): it goes in again.
  bool moved = row->rowState == kRowDeleted;
  ForEachKeyColumn(*index, [&](const char* column) {
    const bool haveOld =
        RowKeyForColumn(*table_.definition, row->name.Text(), oldText, column, &oldKey);
    const bool haveNew =
        RowKeyForColumn(*table_.definition, row->name.Text(), row->value.Text(), column, &newKey);
    if (!haveOld || !haveNew || oldKey.Compare(newKey.Text()) != 0) moved = true;
  });
  if (!moved) return;
  RemoveRowFromPrimaryKeyIndex(*table_.contents, *table_.definition, row, oldText);
  AddRowToPrimaryKeyIndex(*table_.contents, *table_.definition, row);
  if (table_.contents->indexMode == kIndexByName) {
    index->Add(row->name.Text(), row, /*replace=*/true, /*matchValue=*/true, nullptr);
  }
}

HRESULT UpdateRun::InsertFilledRow() {
  tString id;
  if (NextRowId(&id) != S_OK) return E_OUTOFMEMORY;
  if (!AcceptRowId(id.Text())) return E_FAIL;
  // The row is built before it enters the table, so a failing assignment
  // leaves no half-filled row behind.
  tString value;
  if (value.Assign("") != S_OK ||
      value.SetFieldCount(tString::FieldCount(table_.definition->value.Text(), '|'), '|') != S_OK) {
    return E_OUTOFMEMORY;
  }
  tAttribute* row = tAttribute::CreateChild(nullptr, id.Text(), value.Text(), kRowNew);
  if (row == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = ApplyAssignments(row, true);
  if (hr == S_OK) hr = table_.contents->AddChild(row);
  if (hr != S_OK) {
    tAttribute::ReleaseToPool(row, true);
    return hr;
  }
  row->rowState = kRowNew;
  session_.MarkTableChanged();
  MoveRowInIndex(row, nullptr, true);
  return S_OK;
}

HRESULT UpdateRun::ResolveAssignments() {
  columns_.clear();
  for (const Assignment& assignment : update_.assignments) {
    const int32_t column = FieldPosition(table_.definition->value.Text(), assignment.name.Text());
    if (column < 0) {
      DebugOut(
          "tSqlQueryEngine: Query (%s) failed, ColumnName (%s) in set statement not defined in "
          "table\n",
          session_.statement(), assignment.name.Text());
      return E_FAIL;
    }
    const char* value = assignment.value.Text();
    if (std::strchr(value, '|') != nullptr || HasLineBreak(value)) {
      DebugOut(
          "tSqlQueryEngine: Query (%s) failed, value of ColumnName (%s) holds '|' or a line "
          "break\n",
          session_.statement(), assignment.name.Text());
      return E_FAIL;
    }
    columns_.push_back(column);
  }
  if (update_.malformed) {
    DebugOut("tSqlQueryEngine: Query (%s) failed, set statement not properly formed\n",
             session_.statement());
    return E_FAIL;
  }
  return S_OK;
}

HRESULT UpdateRun::ApplyAssignments(tAttribute* row, bool isNewRow) {
  if (row == nullptr || columns_.empty()) return S_OK;
  tString value;
  if (value.Assign(row->value) != S_OK) return E_OUTOFMEMORY;
  for (size_t i = 0; i < columns_.size(); ++i) {
    const Assignment& assignment = update_.assignments[i];
    const char* start;
    int32_t length;
    if (!FieldSpan(value.Text(), columns_[i], &start, &length)) {
      DebugOut(
          "tSqlQueryEngine: Query (%s) failed, ColumnName (%s) in set statement not in row "
          "contents\n",
          session_.statement(), assignment.name.Text());
      return E_FAIL;
    }
    tString edited;
    const int32_t before = int32_t(start - value.Text());
    if (edited.AssignN(value.Text(), before) != S_OK ||
        edited.Append(assignment.value, tString::kLargeReserve) != S_OK ||
        edited.Append(start + length) != S_OK) {
      return E_OUTOFMEMORY;
    }
    value = std::move(edited);
  }
  if (!isNewRow) session_.MarkTableChanged();
  row->previousValue = std::move(row->value);
  row->value = std::move(value);
  if (!isNewRow) MoveRowInIndex(row, row->previousValue.Text(), false);
  row->rowState = kRowEdited;
  return S_OK;
}

HRESULT UpdateRun::UpdateByRowId() {
  tString rowId;
  tAttribute* row;
  if (HRESULT hr = session_.RowNamedByWhere(where_, &rowId, &row); hr != S_OK) return hr;
  if (update_.wholeRow) {
    if (row != nullptr) return insertOnly() ? S_OK : ReplaceWholeRow(row);
    return changeOnly() ? S_OK : InsertWholeRow(rowId.Text());
  }
  if (row == nullptr) {
    DebugOut(
        "tSqlQueryEngine::handleUpdateStatement, illegal statement using System.RowNumber and "
        "'Set' option failed. Can only do this for an existing row. Need to fix!\n");
    return E_FAIL;
  }
  if (ResolveAssignments() != S_OK) return E_FAIL;
  return ApplyAssignments(row, false);
}

}  // namespace

HRESULT RunUpdate(TableSession& session, const UpdateStatement& update) {
  if (session.BindTable(update.table.Text(), true) != S_OK) return E_FAIL;
  return UpdateRun(session, update).Run();
}

}  // namespace query
