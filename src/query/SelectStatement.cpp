// tSqlQueryEngine: the select statement.
//
//   select [top N] [distinct ] ITEMS from T [where W] [ order by C]
//
// One result line per matching row: the items' values joined by the result
// delimiter. Items are column names, "*" (the whole row, '|'-joined),
// System.RowNumber / System.RowState / System.ErrorState, and any of these
// after "$" for the row's value before its last edit. System.TableDefinition
// or System.TableType anywhere in the list give the table's column or type
// list as the one line. Where texts naming System.RowNumber, System.RowState
// or System.ErrorState (outside quotes) select by row id, state or error
// state instead of evaluating a clause.
//
// The item list is resolved once per statement; each row then costs one
// pass over its fields per item, into one line buffer that serves all rows.
#include <cstdio>
#include <cstring>

#include "query/QueryEngineParts.h"
#include "query/QueryText.h"
#include "templatelib/DebugOut.h"
#include "templatelib/tZBall.h"

using query::ContainsOutsideQuotes;

namespace {

// The line buffer is kept between rows, but not at any size.
constexpr int32_t kLineShrinkAbove = 5000;
constexpr int32_t kLineShrunkCapacity = 2000;

}  // namespace

HRESULT tSqlQueryEngine::handleSelectStatement() {
  const bool archiveForm =
      fromTable_.CompareTrimmed("zBall") == 0 && columns_.CompareTrimmed("FullFileName") == 0;
  if (setDatabaseTable(fromTable_.Text(), true) != S_OK) {
    // "zBall" names the archive, not a table: the form works without one.
    if (archiveForm) return selectFromArchive();
    DebugOut("tSqlQueryEngine: Query (%s) failed, unknown 'From' table (%s)\n", statementText(),
             fromTable_.Text() != nullptr ? fromTable_.Text() : "");
    error_ = true;
    return E_FAIL;
  }
  error_ = true;
  for (tAttribute* node : {table_.definition, table_.type}) {
    const char* item = node == table_.definition ? "System.TableDefinition" : "System.TableType";
    if (!ContainsOutsideQuotes(columns_.Text(), item)) continue;
    if (node == nullptr) return E_FAIL;
    if (results_->Append(node->value.Text() != nullptr ? node->value.Text() : "") != S_OK) {
      return E_OUTOFMEMORY;
    }
    error_ = false;
    return S_OK;
  }
  if (resolveSelectItems() != S_OK) return E_OUTOFMEMORY;
  if (ContainsOutsideQuotes(where_.Text(), "System.RowNumber")) return selectByRowId();
  if (ContainsOutsideQuotes(where_.Text(), "System.RowState")) return selectByRowState();
  if (ContainsOutsideQuotes(where_.Text(), "System.ErrorState")) return selectByErrorState();
  if (archiveForm) return selectFromArchive();
  if (where_.Compare("0") == 0) {
    results_->Clear();
    return S_OK;
  }
  if (loadWhereClause() != S_OK) {
    error_ = true;
    return E_FAIL;
  }
  const bool includeDeleted = query::FindFrom(columns_.Text(), 0, "System.RowState") >= 0;
  error_ = false;
  RowCursor cursor;
  startRowWalk(&cursor, includeDeleted);
  bool stop = false;
  while (!stop) {
    tAttribute* row = getNextMatchingRow(&cursor, includeDeleted);
    if (row == nullptr) break;
    addRowToResults(row, &stop);  // a row that fails simply gives no line
  }
  results_->ResetCursor();
  if (orderBy_) {
    if (sortResults() != S_OK) return E_OUTOFMEMORY;
    results_->ResetCursor();
  }
  if (error_) return E_FAIL;
  return results_->lineCount == 0 ? S_FALSE : S_OK;
}

HRESULT tSqlQueryEngine::resolveSelectItems() {
  const char* list = columns_.Text();
  const int32_t count = tString::FieldCount(list, ',');
  if (count > selectItemCapacity_) {
    selectItems_ = std::make_unique<SelectItem[]>(size_t(count));
    selectItemCapacity_ = count;
  }
  selectItemCount_ = count;
  maxSelectColumn_ = -1;
  const char* definition = table_.definition->value.Text();
  for (int32_t i = 0; i < count; ++i) {
    SelectItem& item = selectItems_[i];
    if (tString::GetField(list, i, ',', &item.text) != S_OK) return E_OUTOFMEMORY;
    const char* name = item.text.Text();
    item.fromPrevious = *name == '$';
    if (item.fromPrevious) ++name;
    item.column = -1;
    if (std::strcmp(name, "*") == 0) {
      item.kind = SelectItem::kWholeRow;
    } else if (tString::CompareNoCase(name, "System.RowNumber") == 0) {
      item.kind = SelectItem::kRowNumber;
    } else if (tString::CompareNoCase(name, "System.RowState") == 0) {
      item.kind = SelectItem::kRowState;
    } else if (tString::CompareNoCase(name, "System.ErrorState") == 0) {
      item.kind = SelectItem::kErrorState;
    } else {
      item.column = query::FieldPosition(definition, name);
      item.kind = item.column >= 0 ? SelectItem::kColumn : SelectItem::kUnknown;
    }
    if (item.kind == SelectItem::kColumn && item.column > maxSelectColumn_) {
      maxSelectColumn_ = item.column;
    }
  }
  if (size_t(maxSelectColumn_ + 1) > fieldSpans_.size()) {
    fieldSpans_.resize(size_t(maxSelectColumn_ + 1));
  }
  return S_OK;
}

HRESULT tSqlQueryEngine::addRowToResults(tAttribute* row, bool* stop) {
  if (row == nullptr || selectItemCount_ == 0) return E_FAIL;
  error_ = false;
  if (line_.Capacity() > kLineShrinkAbove) {
    line_.Release();
    if (line_.Reserve(kLineShrunkCapacity) != S_OK) return E_OUTOFMEMORY;
  }
  // The line is built in place with its length kept here, and the row's
  // fields are found in one walk over the row, not one per item.
  int32_t length = 0;
  auto put = [&](const char* text, int32_t count) {
    if (length + count + 2 > line_.Capacity()) {
      int64_t capacity = line_.Capacity() > 0 ? line_.Capacity() : 256;
      while (capacity < int64_t{length} + count + 2) capacity *= 2;
      if (capacity > INT32_MAX || line_.Reserve(int32_t(capacity)) != S_OK) return false;
    }
    std::memcpy(line_.Buffer() + length, text, size_t(count));
    length += count;
    line_.Buffer()[length] = '\0';
    return true;
  };
  auto putText = [&](const char* text) {
    return put(text != nullptr ? text : "", text != nullptr ? int32_t(std::strlen(text)) : 0);
  };
  if (!put("", 0)) return E_OUTOFMEMORY;
  const int32_t fields = FindFieldSpans(row->value.Text());
  for (int32_t i = 0; i < selectItemCount_; ++i) {
    const SelectItem& item = selectItems_[i];
    if (item.fromPrevious && row->rowState != kRowEdited) return E_FAIL;
    const char* source = item.fromPrevious ? row->previousValue.Text() : row->value.Text();
    bool ok = true;
    switch (item.kind) {
      case SelectItem::kWholeRow:
        ok = putText(source);
        break;
      case SelectItem::kColumn:
        if (!item.fromPrevious) {
          if (item.column < fields) {
            ok = put(source + fieldSpans_[item.column].start, fieldSpans_[item.column].length);
          }
        } else {
          const char* start;
          int32_t count;
          if (query::FieldSpan(source, item.column, &start, &count)) ok = put(start, count);
        }
        break;
      case SelectItem::kRowNumber:
        ok = putText(row->name.Text());
        break;
      case SelectItem::kRowState:
        ok = putText(RowStateWord(row->rowState));
        break;
      case SelectItem::kErrorState: {
        char number[16];
        ok = put(number, std::snprintf(number, sizeof number, "%d", row->errorStateOrFieldCount));
        break;
      }
      case SelectItem::kUnknown:
        DebugOut("tSqlQueryEngine: Query (%s) failed, unknown column token (%s) in query\n",
                 statementText(), item.text.Text());
        error_ = true;
        return E_FAIL;
    }
    if (!ok || !put(&delimiter_, 1)) return E_OUTOFMEMORY;
  }
  line_.Buffer()[--length] = '\0';  // the last delimiter
  if (distinct_ && results_->ContainsEquivalent(line_.Text())) return S_OK;
  HRESULT hr = !orderBy_ && ordering_ != nullptr
                   ? results_->InsertOrdered(line_.Text(), ordering_, nullptr)
                   : results_->Append(line_.Text(), length);
  if (Failed(hr)) return hr;
  if (top_ > 0 && stop != nullptr && results_->lineCount >= top_) *stop = true;
  return S_OK;
}

int32_t tSqlQueryEngine::FindFieldSpans(const char* text) {
  if (text == nullptr) return 0;
  const int32_t wanted = maxSelectColumn_ + 1;
  int32_t found = 0;
  int32_t start = 0;
  for (int32_t i = 0; found < wanted; ++i) {
    const char c = text[i];
    if (c != '|' && c != '\0') continue;
    fieldSpans_[found++] = {start, i - start};
    if (c == '\0') break;
    start = i + 1;
  }
  return found;
}

HRESULT tSqlQueryEngine::selectByRowId() {
  tString rowId;
  tAttribute* row;
  if (HRESULT hr = rowNamedByWhere(&rowId, &row); hr != S_OK) return hr;
  if (row == nullptr) {
    DebugOut(
        "tSqlQueryEngine::handleSelectStatement, select statement using System.RowNumber failed "
        "to find the row, possible problem???\n");
    return E_FAIL;
  }
  if (addRowToResults(row, nullptr) != S_OK) {
    DebugOut(
        "tSqlQueryEngine::handleSelectStatement, select statement failed to add row to "
        "results!!\n");
    return E_FAIL;
  }
  return S_OK;
}

namespace query {

int32_t RowStateOfLetter(const char* where) {
  const int32_t equals = FindFrom(where, 0, "=");
  if (equals < 0) return -1;
  const char* letter = where + equals + 1;
  while (IsStripSpace(*letter)) ++letter;
  switch (*letter) {
    case 'D':
    case 'd':
      return kRowDeleted;
    case 'E':
    case 'e':
      return kRowEdited;
    case 'U':
    case 'u':
      return kRowUnchanged;
    case 'N':
    case 'n':
      return kRowNew;
    case 'A':
    case 'a':
      return kRowAny;
    default:
      return -1;
  }
}

}  // namespace query

HRESULT tSqlQueryEngine::selectByRowState() {
  const int32_t state = query::RowStateOfLetter(where_.Text());
  if (state < 0) return E_FAIL;
  for (auto rows = table_.contents->Children(); tAttribute* row = rows.Next();) {
    // "A" selects every row, as it purges every row in a delete.
    if (state != kRowAny && row->rowState != state) continue;
    if (addRowToResults(row, nullptr) != S_OK) return E_FAIL;
  }
  return S_OK;
}

HRESULT tSqlQueryEngine::selectByErrorState() {
  const char* where = where_.Text();
  const int32_t notEqual = query::FindFrom(where, 0, "!=");
  const int32_t equals = notEqual >= 0 ? notEqual + 1 : query::FindFrom(where, 0, "=");
  if (equals < 0) return E_FAIL;
  const int32_t number = query::ReadDecimal(where + equals + 1);
  for (auto rows = table_.contents->Children(); tAttribute* row = rows.Next();) {
    if ((row->errorStateOrFieldCount == number) == (notEqual >= 0)) continue;
    if (addRowToResults(row, nullptr) != S_OK) return E_FAIL;
  }
  return S_OK;
}

HRESULT tSqlQueryEngine::selectFromArchive() {
  const char* where = where_.Text();
  const int32_t equals = query::FindFrom(where, 0, "=");
  const int32_t open = equals < 0 ? -1 : query::FindFrom(where, equals, "'");
  if (open < 0) return E_FAIL;
  int32_t close = query::FindFrom(where, open + 1, "'");
  if (close < 0) close = int32_t(std::strlen(where));
  tString fileName;
  if (query::SliceStripped(where, open + 1, close, &fileName) != S_OK) return E_OUTOFMEMORY;
  // The archive this engine's own source was loaded from.
  if (source_->FileName().IsNullOrEmpty()) return E_FAIL;
  tZBall archive(source_->FileName().Text());
  tString extracted;
  if (archive.UnzipMiscToTemp(fileName.Text(), &extracted) != S_OK) return E_FAIL;
  if (results_->Append(extracted.Text()) != S_OK) return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT tSqlQueryEngine::sortResults() {
  const char* definition = table_.definition->value.Text();
  const char* column = orderByColumn_.Text();
  int32_t place;
  if (columns_.Compare("*") == 0) {
    place = query::FieldPosition(definition, column);
    if (place < 0) place = tString::FieldCount(definition, '|');
  } else {
    place = -1;
    for (int32_t i = 0; i < selectItemCount_ && place < 0; ++i) {
      if (selectItems_[i].text.CompareNoCase(column) == 0) place = i;
    }
    if (place < 0) place = selectItemCount_;
  }
  // Types beginning with "St" sort as text, all others as numbers; a
  // column the table does not hold sorts as text.
  bool asText = true;
  const int32_t position = query::FieldPosition(definition, column);
  const char* typeStart;
  int32_t typeLength;
  if (position >= 0 &&
      query::FieldSpan(table_.type->value.Text(), position, &typeStart, &typeLength)) {
    asText = typeLength >= 2 && tString::CompareNoCaseN(typeStart, "St", 2) == 0;
  }
  return results_->SortByColumn(place, asText);
}
