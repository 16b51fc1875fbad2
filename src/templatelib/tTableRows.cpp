#include "templatelib/tTableRows.h"

#include <cstring>
#include <new>
#include <vector>

bool RowKeyForColumn(const tAttribute& definition, const char* rowId, const char* rowText,
                     const char* column, tString* key) {
  if (tString::CompareTrimmed(column, "System.RowNumber") == 0) {
    return key->Assign(rowId) == S_OK;
  }
  // Walk the column names and the row's fields side by side, once.
  const char* name = definition.value.Text();
  const char* field = rowText;
  if (name == nullptr) return false;
  const size_t columnLength = std::strlen(column);
  for (;;) {
    const char* nameEnd = std::strchr(name, '|');
    const size_t nameLength = nameEnd != nullptr ? size_t(nameEnd - name) : std::strlen(name);
    const char* fieldEnd = field != nullptr ? std::strchr(field, '|') : nullptr;
    if (nameLength == columnLength && tString::CompareNoCaseN(name, column, nameLength) == 0) {
      if (field == nullptr) return key->Assign("") == S_OK;
      const int32_t length =
          fieldEnd != nullptr ? int32_t(fieldEnd - field) : int32_t(std::strlen(field));
      return key->AssignN(field, length) == S_OK;
    }
    if (nameEnd == nullptr) return false;
    name = nameEnd + 1;
    field = fieldEnd != nullptr ? fieldEnd + 1 : nullptr;
  }
}

HRESULT AddRowToPrimaryKeyIndex(tAttribute& contents, const tAttribute& definition,
                                tAttribute* row) {
  tHash* index = contents.childIndex;
  if (index == nullptr || index->BinCount() == 0) return S_OK;
  HRESULT result = S_OK;
  tString key;
  ForEachKeyColumn(*index, [&](const char* column) {
    if (!RowKeyForColumn(definition, row->name.Text(), row->value.Text(), column, &key)) return;
    HRESULT hr = index->Add(key.Text(), row, /*replace=*/true, /*matchValue=*/true, nullptr);
    if (hr == E_OUTOFMEMORY) result = hr;
  });
  return result;
}

void RemoveRowFromPrimaryKeyIndex(tAttribute& contents, const tAttribute& definition,
                                  tAttribute* row, const char* rowText) {
  tHash* index = contents.childIndex;
  if (index == nullptr) return;
  if (rowText == nullptr) rowText = row->value.Text();
  tString key;
  ForEachKeyColumn(*index, [&](const char* column) {
    if (RowKeyForColumn(definition, row->name.Text(), rowText, column, &key)) {
      index->Remove(key.Text(), row);
    }
  });
  // An index kept by row id holds the row under its name as well.
  if (contents.indexMode == kIndexByName || contents.indexMode == kIndexByValue) {
    index->Remove(contents.IndexKeyOf(*row), row);
  }
}

HRESULT RemoveRows(tAttribute& contents, const tAttribute& definition,
                   bool (*removeIt)(const tAttribute& row, void* context), void* context,
                   bool settleKept) {
  if (contents.children == nullptr) return S_OK;
  // The surviving rows move to a fresh list in one pass; removing rows one
  // by one from the old list would walk it once per row.
  auto* kept = new (std::nothrow) tGenericContainer<tAttribute>();
  if (kept == nullptr) return E_OUTOFMEMORY;
  std::vector<tAttribute*> removed;
  tGenericContainerIterator<tAttribute> rows(*contents.children);
  while (tAttribute* row = rows.Next()) {
    if (removeIt(*row, context)) {
      removed.push_back(row);
      continue;
    }
    if (settleKept) row->rowState = kRowUnchanged;
    if (kept->Append(row) != S_OK) {
      // Nothing has changed in the tree yet but the states; keep it whole.
      kept->SetOwnsItems(false);
      delete kept;
      return E_OUTOFMEMORY;
    }
  }
  contents.children->SetOwnsItems(false);
  delete contents.children;
  contents.children = kept;
  for (tAttribute* row : removed) {
    RemoveRowFromPrimaryKeyIndex(contents, definition, row);
    row->parent = nullptr;
    tAttribute::ReleaseToPool(row, true);
  }
  return S_OK;
}
