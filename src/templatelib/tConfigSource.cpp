// tConfigSource: construction, the default source, finding tables and
// commit. Load and save live in tConfigSourceLoad.cpp and
// tConfigSourceSave.cpp.
#include "templatelib/tConfigSource.h"

#include <new>
#include <vector>

#include "templatelib/tTableRows.h"

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

bool IsDeletedRow(const tAttribute& row, void*) { return row.rowState == kRowDeleted; }

HRESULT CommitTableNodes(const tTableNodes& nodes) {
  HRESULT hr = RemoveRows(*nodes.contents, *nodes.definition, &IsDeletedRow, nullptr,
                          /*settleKept=*/true);
  if (hr != S_OK) return hr;
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
