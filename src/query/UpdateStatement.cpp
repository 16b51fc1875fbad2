// tSqlQueryEngine: the update statement and its variants.
//
//   update T set * = F1|F2|...  [where W] [ suggestedRowId ID]
//   update T set C1 = V1, C2 = 'V 2' [where W] [ suggestedRowId ID]
//
// "update" changes every matching row and inserts one when none matches;
// "updat2" only changes, "updat3" only inserts. A where text "0" (also what
// a statement without where clause gets) or "False" matches no row.
//
// A set clause is parsed once per statement and applied to a copy of each
// row; the row takes the copy only when every assignment succeeded, so a
// failing statement never leaves half-changed or half-filled rows. Values a
// configuration file could not load back as they were ('|', line breaks in
// a value; a row id with white space or a leading brace) are refused.
#include <cstring>

#include "query/QueryEngineParts.h"
#include "query/QueryText.h"
#include "templatelib/DebugOut.h"
#include "templatelib/tTableRows.h"

using query::ContainsOutsideQuotes;

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
  while (end - trailing > 0 && query::IsStripSpace(text[end - trailing - 1])) ++trailing;
  return trailing == 0 ? S_OK : value.Truncate(trailing);
}

}  // namespace

HRESULT tSqlQueryEngine::handleUpdateStatement() {
  if (setDatabaseTable(updateTable_.Text(), true) != S_OK) return E_FAIL;
  const int32_t equals = setText_.IsNull() ? -1 : query::FindFrom(setText_.Text(), 0, "=");
  if (equals < 0) return E_FAIL;
  if (query::RestStripped(setText_.Text(), equals + 1, &scratch_) != S_OK) return E_OUTOFMEMORY;
  const char* set = setText_.Text();
  while (query::IsStripSpace(*set)) ++set;
  const bool wholeRow = *set == '*';
  const char* wholeRowText = scratch_.Text();
  if (wholeRow && HasLineBreak(wholeRowText)) {
    DebugOut("tSqlQueryEngine: Query (%s) failed, row value holds a line break\n", statementText());
    return E_FAIL;
  }

  matchAll_ = where_.Compare("1") == 0;
  if (updateTable_.CompareNoCase("MovingMapOverlays") == 0) rewriteMovingMapOverlaysWhere();
  if (ContainsOutsideQuotes(where_.Text(), "System.RowNumber")) {
    return updateByRowId(wholeRow, wholeRowText);
  }
  if (ContainsOutsideQuotes(setText_.Text(), "System.TableDefinition")) {
    return setTableMetadata(table_.definition);
  }
  if (ContainsOutsideQuotes(setText_.Text(), "System.TableType")) {
    return setTableMetadata(table_.type);
  }
  if (!wholeRow && parseSetClause() != S_OK) return E_FAIL;
  const bool whereZero = where_.Compare("0") == 0;
  if (whereZero) {
    if (wholeRow) return updateOnly_ ? S_OK : insertWholeRow(wholeRowText, nullptr);
    matchAll_ = true;  // the clause is not loaded: no row can match it
  }
  if (loadWhereClause() != S_OK) return E_FAIL;

  if (!whereZero && where_.CompareNoCase("False") != 0) {
    RowCursor cursor;
    startRowWalk(&cursor, false);
    bool matched = false;
    HRESULT result = S_OK;
    while (tAttribute* row = getNextMatchingRow(&cursor, false)) {
      if (insertOnly_) return S_OK;
      matched = true;
      HRESULT hr = wholeRow ? replaceWholeRow(row, wholeRowText) : applySetClause(row, false);
      if (hr != S_OK) result = E_FAIL;
    }
    if (matched) return result;
  }
  if (updateOnly_) return S_OK;
  return wholeRow ? insertWholeRow(wholeRowText, nullptr) : insertFilledRow();
}

HRESULT tSqlQueryEngine::setTableMetadata(tAttribute* node) {
  const int32_t equals = query::FindFrom(setText_.Text(), 0, "=");
  if (node == nullptr || equals < 0) return E_FAIL;
  tString value;
  if (query::RestStripped(setText_.Text(), equals + 1, &value) != S_OK) return E_OUTOFMEMORY;
  if (HasLineBreak(value.Text())) {
    DebugOut("tSqlQueryEngine: Query (%s) failed, row value holds a line break\n", statementText());
    return E_FAIL;
  }
  node->value = std::move(value);
  node->rowState = kRowEdited;
  // A new column list brings its own field count.
  if (node == table_.definition) {
    node->errorStateOrFieldCount = tString::FieldCount(node->value.Text(), '|');
  }
  error_ = false;
  return S_OK;
}

bool tSqlQueryEngine::acceptRowId(const char* rowId) {
  bool usable = rowId != nullptr && *rowId != '\0' && *rowId != '{' && *rowId != '}';
  for (const char* p = rowId; usable && *p != '\0'; ++p) usable = !query::IsStripSpace(*p);
  if (!usable) {
    DebugOut(
        "tSqlQueryEngine: Query (%s) failed, row id (%s) cannot be kept in a configuration "
        "file\n",
        statementText(), rowId != nullptr ? rowId : "");
  }
  return usable;
}

HRESULT tSqlQueryEngine::insertWholeRow(const char* wholeRowText, const char* rowId) {
  tString id;
  if (rowId == nullptr) {
    if (getNextRowId(&id) != S_OK) return E_OUTOFMEMORY;
    rowId = id.Text();
  }
  if (!acceptRowId(rowId)) return E_FAIL;
  tAttribute* row = tAttribute::CreateChild(table_.contents, rowId, wholeRowText, kRowNew);
  if (row == nullptr) return E_OUTOFMEMORY;
  markTableChanged();
  if (FitRowToColumns(row->value, table_.definition->errorStateOrFieldCount) != S_OK) {
    return E_OUTOFMEMORY;
  }
  return AddRowToPrimaryKeyIndex(*table_.contents, *table_.definition, row);
}

HRESULT tSqlQueryEngine::replaceWholeRow(tAttribute* row, const char* wholeRowText) {
  tString value;
  if (value.Assign(wholeRowText) != S_OK ||
      FitRowToColumns(value, table_.definition->errorStateOrFieldCount) != S_OK) {
    return E_OUTOFMEMORY;
  }
  markTableChanged();
  row->previousValue = std::move(row->value);
  row->value = std::move(value);
  moveRowInIndex(row, row->previousValue.Text(), false);
  row->rowState = kRowEdited;
  return S_OK;
}

void tSqlQueryEngine::moveRowInIndex(tAttribute* row, const char* oldText, bool isNewRow) {
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

HRESULT tSqlQueryEngine::insertFilledRow() {
  tString id;
  if (getNextRowId(&id) != S_OK) return E_OUTOFMEMORY;
  if (!acceptRowId(id.Text())) return E_FAIL;
  // The row is built before it enters the table, so a failing assignment
  // leaves no half-filled row behind.
  tString value;
  if (value.Assign("") != S_OK ||
      value.SetFieldCount(tString::FieldCount(table_.definition->value.Text(), '|'), '|') != S_OK) {
    return E_OUTOFMEMORY;
  }
  tAttribute* row = tAttribute::CreateChild(nullptr, id.Text(), value.Text(), kRowNew);
  if (row == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = applySetClause(row, true);
  if (hr == S_OK) hr = table_.contents->AddChild(row);
  if (hr != S_OK) {
    tAttribute::ReleaseToPool(row, true);
    return hr;
  }
  row->rowState = kRowNew;
  markTableChanged();
  moveRowInIndex(row, nullptr, true);
  return S_OK;
}

HRESULT tSqlQueryEngine::parseSetClause() {
  assignmentCount_ = 0;
  const char* text = setText_.Text();
  const int32_t length = setText_.Length();
  int32_t at = 0;
  while (at < length) {
    const int32_t equals = query::FindFrom(text, at, "=");
    if (equals < 0) {
      DebugOut("tSqlQueryEngine: Query (%s) failed, set statement not properly formed\n",
               statementText());
      return E_FAIL;
    }
    // The value ends at a comma outside quotes; a doubled quote inside a
    // quoted value is an escaped quote.
    int32_t end = equals + 1;
    bool quoted = false;
    int32_t firstQuote = -1;
    int32_t lastQuote = -1;
    for (; end < length; ++end) {
      const char c = text[end];
      if (c == '\'') {
        if (firstQuote < 0) firstQuote = end;
        if (quoted && end + 1 < length && text[end + 1] == '\'') {
          ++end;
          continue;
        }
        lastQuote = end;
        quoted = !quoted;
      } else if (c == ',' && !quoted) {
        break;
      }
    }
    if (assignmentCount_ == assignmentCapacity_) {
      const int32_t capacity = assignmentCapacity_ == 0 ? 8 : assignmentCapacity_ * 2;
      auto grown = std::make_unique<Assignment[]>(size_t(capacity));
      for (int32_t i = 0; i < assignmentCount_; ++i) {
        grown[i].column = assignments_[i].column;
        grown[i].name = std::move(assignments_[i].name);
        grown[i].value = std::move(assignments_[i].value);
      }
      assignments_ = std::move(grown);
      assignmentCapacity_ = capacity;
    }
    Assignment& assignment = assignments_[assignmentCount_];
    if (query::SliceStripped(text, at, equals, &assignment.name) != S_OK) return E_OUTOFMEMORY;
    HRESULT hr = firstQuote >= 0
                     ? query::SliceStripped(text, firstQuote + 1, lastQuote, &assignment.value)
                     : query::SliceStripped(text, equals + 1, end, &assignment.value);
    if (hr != S_OK) return E_OUTOFMEMORY;
    if (firstQuote >= 0) {
      // Doubled quotes stand for one quote.
      char* out = assignment.value.Buffer();
      for (const char* in = out; *in != '\0'; ++in, ++out) {
        *out = *in;
        if (in[0] == '\'' && in[1] == '\'') ++in;
      }
      *out = '\0';
      assignment.value.Trim();
    }
    assignment.column =
        query::FieldPosition(table_.definition->value.Text(), assignment.name.Text());
    if (assignment.column < 0) {
      DebugOut(
          "tSqlQueryEngine: Query (%s) failed, ColumnName (%s) in set statement not defined in "
          "table\n",
          statementText(), assignment.name.Text());
      return E_FAIL;
    }
    const char* value = assignment.value.Text();
    if (std::strchr(value, '|') != nullptr || HasLineBreak(value)) {
      DebugOut(
          "tSqlQueryEngine: Query (%s) failed, value of ColumnName (%s) holds '|' or a line "
          "break\n",
          statementText(), assignment.name.Text());
      return E_FAIL;
    }
    ++assignmentCount_;
    at = end + 1;
  }
  return S_OK;
}

HRESULT tSqlQueryEngine::applySetClause(tAttribute* row, bool isNewRow) {
  if (row == nullptr || assignmentCount_ == 0) return S_OK;
  tString value;
  if (value.Assign(row->value) != S_OK) return E_OUTOFMEMORY;
  for (int32_t i = 0; i < assignmentCount_; ++i) {
    const Assignment& assignment = assignments_[i];
    const char* start;
    int32_t length;
    if (!query::FieldSpan(value.Text(), assignment.column, &start, &length)) {
      DebugOut(
          "tSqlQueryEngine: Query (%s) failed, ColumnName (%s) in set statement not in row "
          "contents\n",
          statementText(), assignment.name.Text());
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
  if (!isNewRow) markTableChanged();
  row->previousValue = std::move(row->value);
  row->value = std::move(value);
  if (!isNewRow) moveRowInIndex(row, row->previousValue.Text(), false);
  row->rowState = kRowEdited;
  return S_OK;
}

HRESULT tSqlQueryEngine::updateByRowId(bool wholeRow, const char* wholeRowText) {
  tString rowId;
  tAttribute* row;
  if (HRESULT hr = rowNamedByWhere(&rowId, &row); hr != S_OK) return hr;
  if (wholeRow) {
    if (row != nullptr) return insertOnly_ ? S_OK : replaceWholeRow(row, wholeRowText);
    return updateOnly_ ? S_OK : insertWholeRow(wholeRowText, rowId.Text());
  }
  if (row == nullptr) {
    DebugOut(
        "tSqlQueryEngine::handleUpdateStatement, illegal statement using System.RowNumber and "
        "'Set' option failed. Can only do this for an existing row. Need to fix!\n");
    return E_FAIL;
  }
  if (parseSetClause() != S_OK) return E_FAIL;
  return applySetClause(row, false);
}

void tSqlQueryEngine::rewriteMovingMapOverlaysWhere() {
  const char* where = where_.Text();
  const int32_t groupAt = query::FindFrom(where, 0, "OverlayGroup = '");
  if (groupAt < 0) return;
  const int32_t nameAt = query::FindFrom(where, 0, "OverlayName = '");
  if (nameAt < 0) return;
  const int32_t groupStart = groupAt + 16;
  const int32_t nameStart = nameAt + 15;
  const int32_t groupEnd = query::FindFrom(where, groupStart, "')");
  const int32_t nameEnd = query::FindFrom(where, nameStart, "')");
  if (groupEnd < 0 || nameEnd < 0) {
    DebugOut("zarnEquationSolver::handleUpdateStatement MovingMap Overlays parse error\n");
    return;
  }
  auto quoted = [&](int32_t start, int32_t end) {
    for (int32_t i = start; i < end; ++i) {
      if (where[i] == '\'') return true;
    }
    return false;
  };
  if (!quoted(groupStart, groupEnd) && !quoted(nameStart, nameEnd)) return;
  // The quotes inside the constants are escaped so that the equation
  // engine reads them as part of the text.
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
  tString rewritten;
  if (rewritten.Format("(OverlayGroup = '%s') && (OverlayName = '%s')", group.Text(),
                       name.Text()) == S_OK) {
    where_ = std::move(rewritten);
  }
}
