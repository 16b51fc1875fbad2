// TableSession: binding a table, loading the where clause, walking the rows
// that match it, and the key shortcut through a table's primary-key index.
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
#include <cstring>

#include "query/QueryText.h"
#include "query/StatementExecutors.h"
#include "templatelib/DebugOut.h"
#include "templatelib/tTableRows.h"

namespace query {

void TableSession::Attach(tConfigSource* source) {
  source_ = source;
  statement_ = "";
  delimiter_ = '|';
  boundRoot_ = nullptr;
  ForgetTable();
}

bool TableSession::BindRoot() {
  tAttribute* root = source_ != nullptr ? source_->Root() : nullptr;
  if (root == nullptr) {
    boundRoot_ = nullptr;
    ForgetTable();
    return false;
  }
  if (boundRoot_ != nullptr && boundRoot_ != root) ForgetTable();
  boundRoot_ = root;
  return true;
}

void TableSession::Begin(const char* statement, tQueryString* results, char delimiter,
                         tQueryOrderingCallback ordering) {
  statement_ = statement;
  results_ = results;
  delimiter_ = delimiter;
  ordering_ = ordering;
}

HRESULT TableSession::BindTable(const char* name, bool useCache) {
  if (boundRoot_ == nullptr) {
    boundRoot_ = source_->Root();
    if (boundRoot_ == nullptr) return E_FAIL;
  }
  if (source_->treeChanged != 0) {
    source_->treeChanged = 0;
    ForgetTable();
  } else if (useCache && table_.table != nullptr && table_.contents != nullptr &&
             table_.table->value.CompareNoCase(name) == 0) {
    return S_OK;
  }
  tTableNodes nodes;
  if (source_->FindTable(name, &nodes) != S_OK) {
    ForgetTable();
    source_->treeChanged = 1;
    return E_FAIL;
  }
  table_ = nodes;
  return S_OK;
}

HRESULT TableSession::LoadWhere(const char* where, bool matchAll) {
  where_ = where;
  matchAll_ = matchAll;
  if (equation_.SetColumns(table_.definition->value.Text(), table_.type->value.Text()) != S_OK) {
    return E_OUTOFMEMORY;
  }
  if (!matchAll && equation_.setEquation(where) == 0) {
    DebugOut("tSqlQueryEngine: Query (%s) failed, illegal where clause (%s)\n", statement_,
             where != nullptr ? where : "");
    return E_FAIL;
  }
  return S_OK;
}

void TableSession::StartWalk(RowCursor* cursor, bool includeDeleted) {
  cursor->indexRows = nullptr;
  tHash* index = table_.contents->childIndex;
  if (!matchAll_ && !includeDeleted && index != nullptr &&
      PrimaryKeyOfWhere(index, where_, equation_, &key_) == S_OK) {
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
  cursor->textAhead.emplace(*rows);
  cursor->rowAhead.emplace(*rows);
  for (int i = 0; i < RowCursor::kAhead; ++i) {
    if (tAttribute* row = cursor->rowAhead->Next()) __builtin_prefetch(row);
    if (i % 2 == 1) cursor->textAhead->Next();
  }
}

tAttribute* TableSession::NextMatch(RowCursor* cursor, bool includeDeleted) {
  for (;;) {
    tAttribute* row = nullptr;
    if (cursor->indexRows != nullptr) {
      if (cursor->next < cursor->indexRows->size()) row = (*cursor->indexRows)[cursor->next++];
    } else {
      row = cursor->rows->Next();
      if (tAttribute* ahead = cursor->rowAhead->Next()) __builtin_prefetch(ahead);
      if (tAttribute* ahead = cursor->textAhead->Next()) __builtin_prefetch(ahead->value.Text());
    }
    if (row == nullptr) return nullptr;
    if (!includeDeleted && row->rowState == kRowDeleted) continue;
    if (matchAll_) return row;
    equation_.SetRow(row->value.Text());
    if (equation_.evaluateEquation() == 1) return row;
  }
}

HRESULT TableSession::RowNamedByWhere(const char* where, tString* rowId, tAttribute** row) {
  *row = nullptr;
  const int32_t equals = FindFrom(where, 0, "=");
  if (equals < 0) return E_FAIL;
  // White space is stripped; quotes stay part of the id.
  if (RestStripped(where, equals + 1, rowId) != S_OK) return E_OUTOFMEMORY;
  // Through the index when the table keeps one by row id (FindChild uses it).
  *row = table_.contents->FindChild(rowId->Text());
  return S_OK;
}

HRESULT PrimaryKeyOfWhere(tHash* index, const char* where, const tSqlEquationEngine& equation,
                          tString* key) {
  key->Empty();
  if (index == nullptr || index->KeyColumns().IsNullOrEmpty()) return E_FAIL;
  if (index->LacksKeyColumn()) return E_NOTIMPL;
  if (where == nullptr || *where == '\0' || std::strcmp(where, "1") == 0 ||
      std::strcmp(where, "0") == 0) {
    return E_NOTIMPL;
  }
  if (FindFrom(where, 0, "||") >= 0) return E_NOTIMPL;
  HRESULT result = E_UNEXPECTED;
  bool decided = false;
  ForEachKeyColumn(*index, [&](const char* column) {
    if (decided) return;
    if (equation.WildcardFlag()) {
      result = E_NOTIMPL;
      decided = true;
      return;
    }
    for (int32_t i = 0; i < equation.SubExpressionCount(); ++i) {
      const tSqlSubExpression& record = equation.SubExpression(i);
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

}  // namespace query
