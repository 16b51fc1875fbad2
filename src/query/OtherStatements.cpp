// tSqlQueryEngine: delete, create, drop and sort.
//
//   delete [anything ]from T [where W]      marks rows Deleted
//   delete from T where System.RowState = D  purges rows of one state (A: all)
//   create table T (Name Type, ...)
//   drop table T
//   sort table T on K1,K2                    builds T's primary-key index
//
// Sort does not reorder rows: it (re)builds the table's primary-key index,
// a hash from the key columns' values to rows, which update and delete keep
// current and the key shortcut reads. Key column names that match no column
// are reported and left out of the index, so that every key the index
// holds means what a where clause on that column means; the index is then
// still kept current but answers no where clause, which scans instead.
#include <cstring>
#include <new>

#include "query/QueryEngineParts.h"
#include "query/QueryText.h"
#include "templatelib/DebugOut.h"
#include "templatelib/tTableRows.h"

using query::ContainsOutsideQuotes;

namespace {

// Indexes smaller than this many bins are not made.
constexpr int32_t kMinimumIndexBins = 1024;
// From this many entries in one bin on, the index is reported as poor; from
// the second number on it is judged useless and removed.
constexpr int32_t kIndexWarnChain = 5;
constexpr int32_t kIndexUselessChain = 10000;
constexpr int64_t kLargestIndexRequest = int64_t{1} << 30;

bool HoldsSeparatorOrBreak(const char* text) { return std::strpbrk(text, "|\r\n") != nullptr; }

struct PurgeState {
  int32_t state;
};

bool InPurgedState(const tAttribute& row, void* context) {
  const int32_t state = static_cast<PurgeState*>(context)->state;
  return state == kRowAny || row.rowState == state;
}

}  // namespace

HRESULT tSqlQueryEngine::handleDeleteStatement() {
  if (setDatabaseTable(fromTable_.Text(), true) != S_OK) {
    DebugOut("tSqlQueryEngine: Query (%s) failed, unknown table (%s)\n", statementText(),
             fromTable_.Text() != nullptr ? fromTable_.Text() : "");
    error_ = true;
    return E_FAIL;
  }
  if (ContainsOutsideQuotes(where_.Text(), "System.RowNumber")) return deleteByRowId();
  if (ContainsOutsideQuotes(where_.Text(), "System.RowState")) return purgeByRowState();
  if (ContainsOutsideQuotes(where_.Text(), "System.ErrorState")) return E_NOTIMPL;
  if (loadWhereClause() != S_OK) {
    error_ = true;
    return E_FAIL;
  }
  results_->Clear();
  RowCursor cursor;
  startRowWalk(&cursor, false);
  while (tAttribute* row = getNextMatchingRow(&cursor, false)) {
    markTableChanged();
    row->rowState = kRowDeleted;  // it stays in the table and the index until a commit
  }
  return S_OK;
}

HRESULT tSqlQueryEngine::deleteByRowId() {
  tString rowId;
  tAttribute* row;
  if (HRESULT hr = rowNamedByWhere(&rowId, &row); hr != S_OK) return hr;
  if (row == nullptr) {
    DebugOut(
        "tSqlQueryEngine::handleDeleteStatement, delete statement using System.RowNumber failed "
        "to find the row to delete!!!!, Why???\n");
    return E_FAIL;
  }
  markTableChanged();
  row->rowState = kRowDeleted;
  return S_OK;
}

HRESULT tSqlQueryEngine::purgeByRowState() {
  PurgeState purge{query::RowStateOfLetter(where_.Text())};
  if (purge.state < 0) return E_FAIL;
  markTableChanged();
  return RemoveRows(*table_.contents, *table_.definition, &InPurgedState, &purge,
                    /*settleKept=*/false);
}

HRESULT tSqlQueryEngine::parseAndExecuteCreateStatement() {
  const char* text = statementText();
  const int32_t create = query::FindFrom(text, 0, "create ");
  const int32_t table = create < 0 ? -1 : query::FindFrom(text, create + 7, "table ");
  const int32_t open = table < 0 ? -1 : query::FindFrom(text, table + 6, "(");
  const char* lastClose = std::strrchr(text, ')');
  if (open < 0 || lastClose == nullptr) return E_FAIL;
  tString name;
  if (query::SliceStripped(text, table + 6, open - 1, &name) != S_OK) return E_OUTOFMEMORY;
  const int32_t bodyEnd = int32_t(lastClose - text);

  // Items end at a comma outside parentheses, so "list(True,False)" stays
  // one type.
  tString names;
  tString types;
  tString item;
  if (names.Assign("") != S_OK || types.Assign("") != S_OK) return E_OUTOFMEMORY;
  bool first = true;
  int32_t depth = 0;
  int32_t start = open + 1;
  for (int32_t i = open + 1; i <= bodyEnd; ++i) {
    const char c = i < bodyEnd ? text[i] : ',';
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (i < bodyEnd && (c != ',' || depth > 0)) continue;
    if (query::SliceStripped(text, start, i, &item) != S_OK) return E_OUTOFMEMORY;
    start = i + 1;
    const char* blank = std::strchr(item.Text(), ' ');
    const int32_t split = blank != nullptr ? int32_t(blank - item.Text()) : item.Length();
    tString column;
    tString type;
    if (query::SliceStripped(item.Text(), 0, split, &column) != S_OK ||
        query::RestStripped(item.Text(), split, &type) != S_OK) {
      return E_OUTOFMEMORY;
    }
    if (column.IsNullOrEmpty()) continue;
    if (HoldsSeparatorOrBreak(column.Text()) || HoldsSeparatorOrBreak(type.Text())) {
      DebugOut(
          "tSqlQueryEngine: Query (%s) failed, column (%s) or its type holds '|' or a line "
          "break\n",
          text, column.Text());
      return E_FAIL;
    }
    if ((!first && (names.AppendChar('|') != S_OK || types.AppendChar('|') != S_OK)) ||
        names.Append(column) != S_OK || types.Append(type) != S_OK) {
      return E_OUTOFMEMORY;
    }
    first = false;
  }
  if (std::strpbrk(name.Text(), "\r\n") != nullptr) {
    DebugOut("tSqlQueryEngine: Query (%s) failed, table name holds a line break\n", text);
    return E_FAIL;
  }

  tAttribute* root = source_->Root();
  if (root == nullptr) return E_FAIL;
  boundRoot_ = root;
  if (root->FindChild("Table", name.Text()) != nullptr) return S_OK;
  tAttribute* node = tAttribute::CreateChild(nullptr, "Table", name.Text(), kRowNew);
  if (node == nullptr) return E_OUTOFMEMORY;
  tTableNodes nodes;
  nodes.table = node;
  nodes.definition = tAttribute::CreateChild(node, "TableDefinition", names.Text(), kRowNew);
  nodes.type = tAttribute::CreateChild(node, "TableType", types.Text(), kRowNew);
  nodes.contents = tAttribute::CreateChild(node, "TableContents", "", kRowNew);
  if (nodes.definition == nullptr || nodes.type == nullptr || nodes.contents == nullptr ||
      root->AddChild(node) != S_OK) {
    tAttribute::ReleaseToPool(node, false);
    return E_OUTOFMEMORY;
  }
  nodes.definition->errorStateOrFieldCount = tString::FieldCount(names.Text(), '|');
  table_ = nodes;
  return S_OK;
}

HRESULT tSqlQueryEngine::parseAndExecuteDropStatement() {
  const char* text = statementText();
  const int32_t drop = query::FindFrom(text, 0, "drop ");
  const int32_t table = drop < 0 ? -1 : query::FindFrom(text, drop + 5, "table ");
  if (table < 0) return E_FAIL;
  tString name;
  if (query::RestStripped(text, table + 6, &name) != S_OK) return E_OUTOFMEMORY;
  tAttribute* root = source_->Root();
  if (root == nullptr) return E_FAIL;
  boundRoot_ = root;
  tAttribute* node = root->FindChild("Table", name.Text());
  if (node == nullptr) return S_OK;
  if (node == table_.table) forgetTable();
  source_->treeChanged = 1;
  tAttribute::ReleaseToPool(node, false);
  return S_OK;
}

HRESULT tSqlQueryEngine::parseAndExecuteSortStatement() {
  const char* text = statementText();
  const int32_t sort = query::FindFrom(text, 0, "sort ");
  const int32_t table = sort < 0 ? -1 : query::FindFrom(text, sort + 5, "table ");
  // "on " counts only as a word: DataStorageInformation ends in "on".
  const int32_t on = table < 0 ? -1 : query::FindWord(text, table + 6, "on ");
  if (on < 0) return E_FAIL;
  tString name;
  if (query::SliceStripped(text, table + 6, on - 1, &name) != S_OK) return E_OUTOFMEMORY;
  if (setDatabaseTable(name.Text(), true) != S_OK) {
    DebugOut("tSqlQueryEngine: Query (%s) failed, invalid table (%s) for sort statement\n", text,
             name.Text());
    error_ = true;
    return E_FAIL;
  }
  const char* keys = text + on + 3;
  tAttribute& contents = *table_.contents;
  if (contents.childIndex == nullptr) {
    contents.childIndex = new (std::nothrow) tHash();
    if (contents.childIndex == nullptr) return E_OUTOFMEMORY;
  }
  tHash& index = *contents.childIndex;

  // Key names are taken as written between the commas.
  tString kept;
  tString column;
  if (kept.Assign("") != S_OK) return E_OUTOFMEMORY;
  contents.indexMode = kIndexNone;
  index.LacksKeyColumn() = false;
  const int32_t written = tString::FieldCount(keys, ',');
  for (int32_t i = 0; i < written; ++i) {
    if (tString::GetField(keys, i, ',', &column) != S_OK) return E_OUTOFMEMORY;
    if (query::FieldPosition(table_.definition->value.Text(), column.Text()) < 0) {
      if (column.CompareTrimmed("System.RowNumber") != 0) {
        DebugOut("tSqlQueryEngine: Query (%s) failed, unknown column token (%s) in query\n", text,
                 column.Text());
        error_ = true;
        index.LacksKeyColumn() = true;
        continue;
      }
      contents.indexMode = kIndexByName;
    }
    if ((!kept.IsNullOrEmpty() && kept.AppendChar(',') != S_OK) || kept.Append(column) != S_OK) {
      return E_OUTOFMEMORY;
    }
  }
  if (index.KeyColumns().Assign(kept) != S_OK) return E_OUTOFMEMORY;

  int64_t bins = int64_t(contents.ChildCount() / 4) * written;
  if (bins < kMinimumIndexBins) bins = kMinimumIndexBins;
  if (bins > kLargestIndexRequest) bins = kLargestIndexRequest;
  if (index.Size(int32_t(bins)) != S_OK) {
    index.KeyColumns().Empty();
    return E_OUTOFMEMORY;
  }
  for (auto rows = contents.Children(); tAttribute* row = rows.Next();) {
    if (row->rowState == kRowDeleted) continue;
    if (AddRowToPrimaryKeyIndex(contents, *table_.definition, row) != S_OK) return E_OUTOFMEMORY;
  }

  const int32_t longest = index.LongestChain();
  if (longest >= kIndexWarnChain) {
    DebugOut(
        "tSqlQueryEngine::parseAndExecuteSortStatement, Opto alert: Hash table max bin size was "
        "(%d). Reconsider hash technique or size used for table (%s) using PrimaryKey (%s)\n",
        longest, table_.table->value.Text() != nullptr ? table_.table->value.Text() : "", keys);
  }
  if (longest >= kIndexUselessChain) {
    DebugOut(
        "tSqlQueryEngine::parseAndExecuteSortStatement, Opto alert: Hash table max bin size was "
        "(%d) on table . Removing PrimaryKey (%s) completely!\n",
        longest, keys);
    delete contents.childIndex;
    contents.childIndex = nullptr;
    contents.indexMode = kIndexNone;
  }
  return S_OK;
}
