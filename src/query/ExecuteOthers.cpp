// The executors of delete, create, drop and sort.
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

#include "query/QueryText.h"
#include "query/StatementExecutors.h"
#include "templatelib/DebugOut.h"
#include "templatelib/tTableRows.h"

namespace query {

namespace {

// Indexes smaller than this many bins are not made.
constexpr int32_t kMinimumIndexBins = 1024;
// From this many entries in one bin on, the index is reported as poor; from
// the second number on it is judged useless and removed.
constexpr int32_t kIndexWarnChain = 5;
constexpr int32_t kIndexUselessChain = 10000;
constexpr int64_t kLargestIndexRequest = int64_t{1} << 30;

struct PurgeState {
  int32_t state;
};

bool InPurgedState(const tAttribute& row, void* context) {
  const int32_t state = static_cast<PurgeState*>(context)->state;
  return state == kRowAny || row.rowState == state;
}

HRESULT DeleteByRowId(TableSession& session, const char* where) {
  tString rowId;
  tAttribute* row;
  if (HRESULT hr = session.RowNamedByWhere(where, &rowId, &row); hr != S_OK) return hr;
  if (row == nullptr) {
    DebugOut(
        "tSqlQueryEngine::handleDeleteStatement, delete statement using System.RowNumber failed "
        "to find the row to delete!!!!, Why???\n");
    return E_FAIL;
  }
  session.MarkTableChanged();
  row->rowState = kRowDeleted;
  return S_OK;
}

HRESULT PurgeByRowState(TableSession& session, const char* where) {
  PurgeState purge{RowStateOfLetter(where)};
  if (purge.state < 0) return E_FAIL;
  session.MarkTableChanged();
  const tTableNodes& table = session.table();
  return RemoveRows(*table.contents, *table.definition, &InPurgedState, &purge,
                    /*settleKept=*/false);
}

// The key columns of `keys` (as written between the commas) that the table
// holds, into the index; unknown ones are reported and marked as lacking.
HRESULT SetKeyColumns(TableSession& session, const char* keys, tAttribute& contents) {
  tHash& index = *contents.childIndex;
  tString kept;
  tString column;
  if (kept.Assign("") != S_OK) return E_OUTOFMEMORY;
  contents.indexMode = kIndexNone;
  index.LacksKeyColumn() = false;
  const int32_t written = tString::FieldCount(keys, ',');
  for (int32_t i = 0; i < written; ++i) {
    if (tString::GetField(keys, i, ',', &column) != S_OK) return E_OUTOFMEMORY;
    if (FieldPosition(session.table().definition->value.Text(), column.Text()) < 0) {
      if (column.CompareTrimmed("System.RowNumber") != 0) {
        DebugOut("tSqlQueryEngine: Query (%s) failed, unknown column token (%s) in query\n",
                 session.statement(), column.Text());
        index.LacksKeyColumn() = true;
        continue;
      }
      contents.indexMode = kIndexByName;
    }
    if ((!kept.IsNullOrEmpty() && kept.AppendChar(',') != S_OK) || kept.Append(column) != S_OK) {
      return E_OUTOFMEMORY;
    }
  }
  return index.KeyColumns().Assign(kept) == S_OK ? S_OK : E_OUTOFMEMORY;
}

// Fills the index with the rows that are not Deleted, in bins for the
// table's size and the number of key columns written.
HRESULT FillIndex(const tTableNodes& table, int32_t written) {
  tAttribute& contents = *table.contents;
  tHash& index = *contents.childIndex;
  int64_t bins = int64_t(contents.ChildCount() / 4) * written;
  if (bins < kMinimumIndexBins) bins = kMinimumIndexBins;
  if (bins > kLargestIndexRequest) bins = kLargestIndexRequest;
  if (index.Size(int32_t(bins)) != S_OK) {
    index.KeyColumns().Empty();
    return E_OUTOFMEMORY;
  }
  for (auto rows = contents.Children(); tAttribute* row = rows.Next();) {
    if (row->rowState == kRowDeleted) continue;
    if (AddRowToPrimaryKeyIndex(contents, *table.definition, row) != S_OK) return E_OUTOFMEMORY;
  }
  return S_OK;
}

// Reports an index with long bins, and removes one too poor to keep.
void JudgeIndex(const tTableNodes& table, const char* keys) {
  tAttribute& contents = *table.contents;
  const int32_t longest = contents.childIndex->LongestChain();
  if (longest >= kIndexWarnChain) {
    DebugOut(
        "tSqlQueryEngine::parseAndExecuteSortStatement, Opto alert: Hash table max bin size was "
        "(%d). Reconsider hash technique or size used for table (%s) using PrimaryKey (%s)\n",
        longest, table.table->value.Text() != nullptr ? table.table->value.Text() : "", keys);
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
}

}  // namespace

HRESULT RunDelete(TableSession& session, const DeleteStatement& remove) {
  if (session.BindTable(remove.table.Text(), true) != S_OK) {
    DebugOut("tSqlQueryEngine: Query (%s) failed, unknown table (%s)\n", session.statement(),
             remove.table.Text() != nullptr ? remove.table.Text() : "");
    return E_FAIL;
  }
  const char* where = remove.where.Text();
  if (ContainsOutsideQuotes(where, "System.RowNumber")) return DeleteByRowId(session, where);
  if (ContainsOutsideQuotes(where, "System.RowState")) return PurgeByRowState(session, where);
  if (ContainsOutsideQuotes(where, "System.ErrorState")) return E_NOTIMPL;
  if (session.LoadWhere(where, remove.matchAll) != S_OK) return E_FAIL;
  session.results().Clear();
  RowCursor cursor;
  session.StartWalk(&cursor, false);
  while (tAttribute* row = session.NextMatch(&cursor, false)) {
    session.MarkTableChanged();
    row->rowState = kRowDeleted;  // it stays in the table and the index until a commit
  }
  return S_OK;
}

HRESULT RunCreate(TableSession& session, const CreateStatement& create) {
  if (!session.BindRoot()) return E_FAIL;
  tAttribute* root = session.source().Root();
  if (root->FindChild("Table", create.table.Text()) != nullptr) return S_OK;
  tAttribute* node = tAttribute::CreateChild(nullptr, "Table", create.table.Text(), kRowNew);
  if (node == nullptr) return E_FAIL;
  tTableNodes nodes;
  nodes.table = node;
  nodes.definition = tAttribute::CreateChild(node, "TableDefinition", create.names.Text(), kRowNew);
  nodes.type = tAttribute::CreateChild(node, "TableType", create.types.Text(), kRowNew);
  nodes.contents = tAttribute::CreateChild(node, "TableContents", "", kRowNew);
  if (nodes.definition == nullptr || nodes.type == nullptr || nodes.contents == nullptr ||
      root->AddChild(node) != S_OK) {
    tAttribute::ReleaseToPool(node, false);
    return E_FAIL;
  }
  nodes.definition->errorStateOrFieldCount = tString::FieldCount(create.names.Text(), '|');
  session.BindNodes(nodes);
  return S_OK;
}

HRESULT RunDrop(TableSession& session, const DropStatement& drop) {
  if (!session.BindRoot()) return E_FAIL;
  tAttribute* node = session.source().Root()->FindChild("Table", drop.table.Text());
  if (node == nullptr) return S_OK;
  if (node == session.table().table) session.ForgetTable();
  session.source().treeChanged = 1;
  tAttribute::ReleaseToPool(node, false);
  return S_OK;
}

HRESULT RunSort(TableSession& session, const SortStatement& sort) {
  if (session.BindTable(sort.table.Text(), true) != S_OK) {
    DebugOut("tSqlQueryEngine: Query (%s) failed, invalid table (%s) for sort statement\n",
             session.statement(), sort.table.Text());
    return E_FAIL;
  }
  const char* keys = sort.keys.Text();
  tAttribute& contents = *session.table().contents;
  if (contents.childIndex == nullptr) {
    contents.childIndex = new (std::nothrow) tHash();
    if (contents.childIndex == nullptr) return E_FAIL;
  }
  if (SetKeyColumns(session, keys, contents) != S_OK) return E_FAIL;
  if (FillIndex(session.table(), tString::FieldCount(keys, ',')) != S_OK) return E_FAIL;
  JudgeIndex(session.table(), keys);
  return S_OK;
}

}  // namespace query
