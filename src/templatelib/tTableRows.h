// Row-level services of the table model shared by commit and the query
// engine: the keys a row has in its table's primary-key index, keeping that
// index in step when rows come and go, and removing many rows in one pass.
//
// A table's primary-key index is the child index (a tHash) of its
// "TableContents" node, keyed by the values of the comma-separated key
// columns the index keeps (tHash::KeyColumns). The key of a row for one key
// column is its row id for "System.RowNumber" and otherwise its field under
// that column, an empty text when the row has fewer fields (so that the
// index agrees with a where clause, which reads a missing field as empty).
// A row is entered once per key column; keys compare without regard to case.
//
// Thread safety: one thread at a time per table, as the tree itself.
#pragma once

#include <cstdint>

#include "templatelib/Result.h"
#include "templatelib/tAttribute.h"
#include "templatelib/tString.h"

// The key of a row (`rowId`, fields `rowText`) for `column`. False when the
// table does not define the column.
bool RowKeyForColumn(const tAttribute& definition, const char* rowId, const char* rowText,
                     const char* column, tString* key);

// Calls `visit`(column) for each key column of the index, trimmed.
template <class Visit>
void ForEachKeyColumn(tHash& index, Visit visit);

// Enters the row under each of its keys (an entry for the same key and row
// is replaced). No-op without an index. E_OUTOFMEMORY when a node cannot
// be had.
HRESULT AddRowToPrimaryKeyIndex(tAttribute& contents, const tAttribute& definition,
                                tAttribute* row);
// Removes the row's entries, its keys computed from `rowText` (the row's
// value when null). No-op without an index.
void RemoveRowFromPrimaryKeyIndex(tAttribute& contents, const tAttribute& definition,
                                  tAttribute* row, const char* rowText = nullptr);

// Removes every row of `contents` for which `removeIt`(row) is true: out of
// the index, out of the list, back to the pool. With `settleKept` the
// remaining rows become Unchanged. One pass over the rows, whatever their
// number. E_OUTOFMEMORY (and nothing changed but states) when the new list
// cannot be had.
HRESULT RemoveRows(tAttribute& contents, const tAttribute& definition,
                   bool (*removeIt)(const tAttribute& row, void* context), void* context,
                   bool settleKept);

// ---- implementation of the template ---------------------------------------
template <class Visit>
void ForEachKeyColumn(tHash& index, Visit visit) {
  const char* keyColumns = index.KeyColumns().Text();
  const int32_t count = tString::FieldCount(keyColumns, ',');
  tString column;
  for (int32_t i = 0; i < count; ++i) {
    if (tString::GetField(keyColumns, i, ',', &column) != S_OK) continue;
    column.Trim();
    if (!column.IsNullOrEmpty()) visit(column.Text());
  }
}
