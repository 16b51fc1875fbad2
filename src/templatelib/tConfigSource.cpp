// tConfigSource: construction, the default source, finding tables and
// commit. Load and save live in tConfigSourceLoad.cpp and
// tConfigSourceSave.cpp.
#include "templatelib/tConfigSource.h"

#include <new>
#include <vector>

tConfigSource::tConfigSource() {
  // The pool is created with the first source, as the nodes will need it.
  AttributePool();
}

tConfigSource::~tConfigSource() { ReleaseTree(); }

void tConfigSource::ReleaseTree() {
  if (root_ == nullptr) return;
  tAttribute::ReleaseToPool(root_, false);
  root_ = nullptr;
  treeChanged = 1;
}

tConfigSource* tConfigSource::DefaultSource(bool destroy) {
  static tConfigSource* source = nullptr;
  if (destroy) {
    delete source;
    source = nullptr;
    return nullptr;
  }
  if (source == nullptr) source = new (std::nothrow) tConfigSource();
  return source;
}

HRESULT tConfigSource::FindTable(const char* tableName, tTableNodes* nodes) {
  if (nodes == nullptr) return E_POINTER;
  *nodes = tTableNodes{};
  if (root_ == nullptr || tableName == nullptr) return E_FAIL;
  tAttribute* table = root_->FindChild("Table", tableName);
  if (table == nullptr) return E_FAIL;
  tAttribute* definition = table->FindChild("TableDefinition");
  tAttribute* type = table->FindChild("TableType");
  if (definition == nullptr || type == nullptr) return E_FAIL;
  tAttribute* contents = table->FindChild("TableContents");
  if (contents == nullptr) {
    contents = tAttribute::CreateChild(table, "TableContents", "", kRowNew);
    if (contents == nullptr) return E_OUTOFMEMORY;
  }
  if (definition->errorStateOrFieldCount == 0) {
    definition->errorStateOrFieldCount = tString::FieldCount(definition->value.Text(), '|');
  }
  *nodes = tTableNodes{table, definition, type, contents};
  return S_OK;
}

namespace {

// The row's value of one key column of a primary-key index: the row id for
// "System.RowNumber", else the row's field under that column. False when the
// table does not define the column or the row lacks the field.
bool KeyColumnValue(const tAttribute& definition, const tAttribute& row, const char* column,
                    tString* key) {
  if (tString::CompareNoCase(column, "System.RowNumber") == 0) {
    return key->Assign(row.name) == S_OK;
  }
  tString name;
  const int32_t columns = tString::FieldCount(definition.value.Text(), '|');
  for (int32_t i = 0; i < columns; ++i) {
    if (tString::GetField(definition.value.Text(), i, '|', &name) != S_OK) return false;
    if (tString::CompareNoCase(name.Text(), column) == 0) {
      return tString::GetField(row.value.Text(), i, '|', key) == S_OK;
    }
  }
  return false;
}

void RemoveFromPrimaryKeyIndex(tAttribute& contents, const tAttribute& definition,
                               tAttribute* row) {
  tHash* index = contents.childIndex;
  if (index == nullptr) return;
  const char* keyColumns = index->KeyColumns().Text();
  tString column;
  tString key;
  const int32_t count = tString::FieldCount(keyColumns, ',');
  for (int32_t i = 0; i < count; ++i) {
    if (tString::GetField(keyColumns, i, ',', &column) != S_OK) continue;
    column.Trim();
    if (KeyColumnValue(definition, *row, column.Text(), &key)) index->Remove(key.Text(), row);
  }
  // An index kept by row id holds the row under its name as well.
  if (contents.indexMode == kIndexByName || contents.indexMode == kIndexByValue) {
    index->Remove(contents.IndexKeyOf(*row), row);
  }
}

HRESULT CommitTableNodes(const tTableNodes& nodes) {
  tAttribute& contents = *nodes.contents;
  if (contents.children != nullptr) {
    // The surviving rows move to a fresh list in one pass; removing deleted
    // rows one by one from the old list would walk it once per row.
    auto* kept = new (std::nothrow) tGenericContainer<tAttribute>();
    if (kept == nullptr) return E_OUTOFMEMORY;
    std::vector<tAttribute*> deleted;
    tGenericContainerIterator<tAttribute> rows(*contents.children);
    while (tAttribute* row = rows.Next()) {
      if (row->rowState == kRowDeleted) {
        deleted.push_back(row);
        continue;
      }
      row->rowState = kRowUnchanged;
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
    for (tAttribute* row : deleted) {
      RemoveFromPrimaryKeyIndex(contents, *nodes.definition, row);
      row->parent = nullptr;
      tAttribute::ReleaseToPool(row, true);
    }
  }
  nodes.table->rowState = kRowUnchanged;
  return S_OK;
}

}  // namespace

HRESULT tConfigSource::CommitTable(const char* tableName) {
  tTableNodes nodes;
  HRESULT hr = FindTable(tableName, &nodes);
  if (hr != S_OK) return hr;
  return CommitTableNodes(nodes);
}

HRESULT tConfigSource::CommitAllTables() {
  if (root_ == nullptr) return E_FAIL;
  std::vector<tAttribute*> changed;
  for (auto tables = root_->Children(); tAttribute* node = tables.Next();) {
    if (node->rowState == kTableChanged && node->name.CompareNoCase("Table") == 0) {
      changed.push_back(node);
    }
  }
  HRESULT result = S_OK;
  for (tAttribute* table : changed) {
    // Each changed table node is committed itself, so that two tables that
    // share a name are both settled.
    tTableNodes nodes;
    nodes.table = table;
    nodes.definition = table->FindChild("TableDefinition");
    nodes.type = table->FindChild("TableType");
    nodes.contents = table->FindChild("TableContents");
    if (nodes.definition == nullptr || nodes.type == nullptr) {
      result = E_FAIL;
      continue;
    }
    if (nodes.contents == nullptr) {
      nodes.contents = tAttribute::CreateChild(table, "TableContents", "", kRowNew);
      if (nodes.contents == nullptr) {
        result = E_FAIL;
        continue;
      }
    }
    if (CommitTableNodes(nodes) != S_OK) result = E_FAIL;
  }
  return result;
}
