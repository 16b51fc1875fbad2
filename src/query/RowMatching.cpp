// tSqlQueryEngine: loading the where clause, walking the rows that match it,
// and the key shortcut through a table's primary-key index.
//
// The shortcut answers "Key = 'x' && ..." from one bin of the index. It is
// taken only where it must give the scan's answer: the clause holds no
// "||" (a row could match through the other side), no wildcard, and the key
// column compares as text (an Int column would find "010" equal to "10",
// which the index, keyed by text, would not); the sort that built the index
// found every key column it was given; and the walk leaves Deleted rows out
// (the sort does not index rows that were Deleted then). Every candidate
// from the bin is still tested against the whole clause, and the
// candidates are taken in table order, as a scan meets them.
#include <algorithm>

#include "query/QueryEngineParts.h"
#include "query/QueryText.h"
#include "templatelib/DebugOut.h"
#include "templatelib/tTableRows.h"

HRESULT tSqlQueryEngine::loadWhereClause() {
  if (equation_.SetColumns(table_.definition->value.Text(), table_.type->value.Text()) != S_OK) {
    return E_OUTOFMEMORY;
  }
  if (!matchAll_ && equation_.setEquation(where_.Text()) == 0) {
    DebugOut("tSqlQueryEngine: Query (%s) failed, illegal where clause (%s)\n", statementText(),
             where_.Text() != nullptr ? where_.Text() : "");
    return E_FAIL;
  }
  equationSet_ = true;
  return S_OK;
}

void tSqlQueryEngine::startRowWalk(RowCursor* cursor, bool includeDeleted) {
  cursor->indexRows = nullptr;
  tHash* index = table_.contents->childIndex;
  if (!matchAll_ && !includeDeleted && index != nullptr &&
      GetPrimaryKeyValueInWhereEquation(&key_) == S_OK) {
    indexRows_.clear();
    for (tHashNode* entry = index->BinHead(key_.Text()); entry != nullptr; entry = entry->next) {
      if (tHash::KeyMatches(*entry, key_.Text())) {
        indexRows_.push_back(static_cast<tAttribute*>(entry->value));
      }
    }
    // A bin keeps its rows in the order they entered it, and an update
    // that changes a row's key moves the row to the end of another bin.
    std::sort(indexRows_.begin(), indexRows_.end(), [](const tAttribute* a, const tAttribute* b) {
      return a->siblingOrder < b->siblingOrder;
    });
    cursor->indexRows = &indexRows_;
    cursor->next = 0;
    return;
  }
  static const tGenericContainer<tAttribute> kNoRows;
  const tGenericContainer<tAttribute>* rows =
      table_.contents->children != nullptr ? table_.contents->children : &kNoRows;
  cursor->rows.emplace(*rows);
}

tAttribute* tSqlQueryEngine::getNextMatchingRow(RowCursor* cursor, bool includeDeleted) {
  for (;;) {
    tAttribute* row = nullptr;
    if (cursor->indexRows != nullptr) {
      if (cursor->next < cursor->indexRows->size()) row = (*cursor->indexRows)[cursor->next++];
    } else {
      row = cursor->rows->Next();
      // Rows of a large table lie all over the heap: ask for the next row
      // and this row's text while this one is looked at.
      if (tAttribute* next = cursor->rows->Peek()) __builtin_prefetch(next);
      if (row != nullptr) __builtin_prefetch(row->value.Text());
    }
    if (row == nullptr) return nullptr;
    if (!includeDeleted && row->rowState == kRowDeleted) continue;
    if (matchAll_) return row;
    equation_.SetRow(row->value.Text());
    if (equation_.evaluateEquation() == 1) return row;
  }
}

tAttribute* tSqlQueryEngine::findRowById(const char* rowId) {
  // Through the index when the table keeps one by row id (FindChild uses it).
  return table_.contents->FindChild(rowId);
}

HRESULT tSqlQueryEngine::rowNamedByWhere(tString* rowId, tAttribute** row) {
  *row = nullptr;
  const int32_t equals = query::FindFrom(where_.Text(), 0, "=");
  if (equals < 0) return E_FAIL;
  // White space is stripped; quotes stay part of the id.
  if (query::RestStripped(where_.Text(), equals + 1, rowId) != S_OK) return E_OUTOFMEMORY;
  *row = findRowById(rowId->Text());
  return S_OK;
}

HRESULT tSqlQueryEngine::GetPrimaryKeyValueInWhereEquation(tString* key) {
  key->Empty();
  tHash* index = table_.contents != nullptr ? table_.contents->childIndex : nullptr;
  if (index == nullptr || index->KeyColumns().IsNullOrEmpty()) return E_FAIL;
  if (index->LacksKeyColumn()) return E_NOTIMPL;
  const char* where = where_.Text();
  if (where == nullptr || *where == '\0' || where_.Compare("1") == 0 || where_.Compare("0") == 0) {
    return E_NOTIMPL;
  }
  if (query::FindFrom(where, 0, "||") >= 0) return E_NOTIMPL;
  HRESULT result = E_UNEXPECTED;
  bool decided = false;
  ForEachKeyColumn(*index, [&](const char* column) {
    if (decided) return;
    if (!equationSet_) {
      equation_.SetColumns(query::kSystemColumnNames, query::kSystemColumnTypes);
      if (equation_.setEquation(where) == 0) {
        DebugOut(
            "tSqlQueryEngine: GetPrimaryKeyValueInWhereEquation failed to setEquation for query "
            "(%s)\n",
            statementText());
        return;
      }
      equationSet_ = true;
    }
    if (equation_.WildcardFlag()) {
      result = E_NOTIMPL;
      decided = true;
      return;
    }
    for (int32_t i = 0; i < equation_.SubExpressionCount(); ++i) {
      const tSqlSubExpression& record = equation_.SubExpression(i);
      if (record.op != kOpEqual || tString::CompareTrimmed(record.column.Text(), column) != 0) {
        continue;
      }
      decided = true;
      if (record.valueType != kValueString) {
        result = E_NOTIMPL;
      } else {
        result = key->Assign(record.constant) == S_OK ? S_OK : E_OUTOFMEMORY;
      }
      return;
    }
  });
  return result;
}
