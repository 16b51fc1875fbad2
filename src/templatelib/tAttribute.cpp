#include "templatelib/tAttribute.h"

#include <new>
#include <vector>

const char* RowStateWord(int32_t rowState) {
  switch (rowState) {
    case kRowUnchanged:
      return "Unchanged";
    case kRowNew:
      return "New";
    case kRowDeleted:
      return "Deleted";
    case kRowAny:
      return "Any";
    default:
      return "Edited";
  }
}

tAllocator<tAttribute>& AttributePool() { return ProcessWidePool<tAttribute>(); }

tAttribute::tAttribute() = default;

tAttribute::~tAttribute() {
  DetachFromParent();
  DestroyChildren();
  delete childIndex;
}

void tAttribute::DestroyChildren() {
  if (children == nullptr) return;
  // Children are unlinked level by level onto a work stack; each node is
  // deleted only once its own children have been moved out, so no
  // destructor ever descends further than one level. The stack is chained
  // through the nodes' own parent pointers (unused once they are unlinked):
  // a destructor must not allocate, least of all when a load is being
  // undone because memory ran out.
  tAttribute* stack = nullptr;
  auto takeChildren = [&stack](tAttribute* node) {
    tGenericContainer<tAttribute>* list = node->children;
    node->children = nullptr;
    list->SetOwnsItems(false);
    list->ResetCursor();
    while (tAttribute* child = list->Next()) {
      child->parent = stack;
      stack = child;
    }
    delete list;
    // The index only points at the children, which are going anyway.
    delete node->childIndex;
    node->childIndex = nullptr;
  };
  takeChildren(this);
  while (stack != nullptr) {
    tAttribute* node = stack;
    stack = node->parent;
    node->parent = nullptr;
    if (node->children != nullptr) takeChildren(node);
    delete node;
  }
}

tAttribute* tAttribute::CreateChild(tAttribute* parent, const char* name, const char* value,
                                    int32_t rowState) {
  tAttribute* node = AttributePool().Take();
  if (node == nullptr) return nullptr;
  node->rowState = rowState;
  if (node->name.Assign(name) != S_OK || node->value.Assign(value) != S_OK) {
    ReleaseToPool(node, true);
    return nullptr;
  }
  if (parent != nullptr && parent->AddChild(node) != S_OK) {
    ReleaseToPool(node, true);
    return nullptr;
  }
  return node;
}

const char* tAttribute::IndexKeyOf(const tAttribute& child) const {
  return indexMode == kIndexByValue ? child.value.Text() : child.name.Text();
}

HRESULT tAttribute::AddChild(tAttribute* child) {
  if (child == nullptr) return E_POINTER;
  if (children == nullptr) {
    children = new (std::nothrow) tGenericContainer<tAttribute>();
    if (children == nullptr) return E_OUTOFMEMORY;
  }
  // Children are only ever appended, so the tail holds the largest number.
  const tAttribute* last = children->Tail();
  if (last != nullptr && last->siblingOrder == UINT32_MAX) {
    uint32_t renumbered = 0;
    for (auto it = Children(); tAttribute* sibling = it.Next();) {
      sibling->siblingOrder = renumbered++;
    }
  }
  const uint32_t order = last != nullptr ? last->siblingOrder + 1 : 0;
  HRESULT hr = children->Append(child);
  if (hr != S_OK) return hr;
  child->siblingOrder = order;
  child->parent = this;
  if (childIndex != nullptr && (indexMode == kIndexByName || indexMode == kIndexByValue)) {
    childIndex->Add(IndexKeyOf(*child), child, /*replace=*/true, /*matchValue=*/true, nullptr);
  }
  return S_OK;
}

tAttribute* tAttribute::FindChild(const char* childName, const char* childValue) {
  if (children == nullptr) return nullptr;
  auto matches = [&](const tAttribute& child) {
    return tString::CompareNoCase(child.name.Text(), childName) == 0 &&
           (childValue == nullptr || tString::CompareNoCase(child.value.Text(), childValue) == 0);
  };
  if (childIndex != nullptr && childIndex->BinCount() > 0 &&
      (indexMode == kIndexByName || (indexMode == kIndexByValue && childValue != nullptr))) {
    const char* key = indexMode == kIndexByName ? childName : childValue;
    auto* candidate = static_cast<tAttribute*>(childIndex->Find(key));
    if (candidate != nullptr && matches(*candidate)) return candidate;
    // Several children may share a key; the walk below settles it.
  }
  tGenericContainerIterator<tAttribute> it(*children);
  while (tAttribute* child = it.Next()) {
    if (matches(*child)) return child;
  }
  return nullptr;
}

void tAttribute::DetachFromParent() {
  if (parent == nullptr) return;
  if (parent->childIndex != nullptr) parent->childIndex->Remove(parent->IndexKeyOf(*this), this);
  if (parent->children != nullptr) parent->children->RemoveItem(this, false, false);
  parent = nullptr;
}

void tAttribute::ReleaseToPool(tAttribute* node, bool recycle) {
  if (node == nullptr) return;
  node->DetachFromParent();
  if (recycle && node->ChildCount() == 0) {
    AttributePool().Recycle(node);
  } else {
    AttributePool().DeferDelete(node);
  }
}

tGenericContainerIterator<tAttribute> tAttribute::Children() const {
  static const tGenericContainer<tAttribute> kNoChildren;
  return tGenericContainerIterator<tAttribute>(children != nullptr ? *children : kNoChildren);
}

void tAttribute::ResetForReuse() {
  name.Empty();
  value.Empty();
  previousValue.Empty();
  parent = nullptr;
  rowState = kRowUnchanged;
  siblingOrder = 0;
  delete childIndex;
  childIndex = nullptr;
  indexMode = kIndexNone;
  errorStateOrFieldCount = 0;
  delete children;
  children = nullptr;
  self = this;
}
