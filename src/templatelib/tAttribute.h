// tAttribute: one node of the attribute tree, the in-memory form of a
// configuration file; and the row states that record what changed.
//
// A node has a name and a value (everything after the name on its line in
// the file), a parent, a row state, the value it had before its latest edit,
// an optional index over its children, and its children in insertion order.
// A node owns its strings, its children (the whole subtree) and its index.
//
// Tables are subtrees of a fixed shape (see tTableNodes in tConfigSource.h):
// the rows of a table are the children of its "TableContents" node, named by
// row id, with the fields joined by '|' as value.
//
// Nodes come from the process-wide attribute pool. Destroying a node never
// recurses: a subtree of any depth is taken apart with a work list, so a
// configuration nested a million levels deep cannot overflow the stack here
// (nor in the deleter thread that usually does the destroying).
//
// Thread safety: a tree is used by one thread at a time. A subtree released
// to the pool is first detached from its parent on the caller's thread; the
// deleter thread then owns it alone.
#pragma once

#include <cstdint>

#include "templatelib/Result.h"
#include "templatelib/tAllocator.h"
#include "templatelib/tGenericContainer.h"
#include "templatelib/tHash.h"
#include "templatelib/tString.h"

// Row states; the words are what queries print for System.RowState.
enum : int32_t {
  kRowUnchanged = 0,
  kRowNew = 1,
  kRowEdited = 2,
  kRowDeleted = 3,
  kRowAny = 4,        // a query filter only
  kTableChanged = 5,  // on a "Table" node: its rows have pending changes
};
// "Unchanged", "New", "Edited", "Deleted", "Any"; any other state reads as
// "Edited".
const char* RowStateWord(int32_t rowState);

// How a node's child index is keyed.
enum : int32_t {
  kIndexNone = 0,
  kIndexByName = 1,
  kIndexByValue = 2,
};

class tAttribute {
 public:
  tAttribute();
  // Detaches the node from its parent and destroys the subtree below it.
  ~tAttribute();
  tAttribute(const tAttribute&) = delete;
  tAttribute& operator=(const tAttribute&) = delete;

  // A node from the attribute pool with these fields, appended as the last
  // child of `parent` (free-standing for a null parent). Null when no node
  // can be had or the child cannot be added.
  static tAttribute* CreateChild(tAttribute* parent, const char* name, const char* value,
                                 int32_t rowState);

  // Appends `child` (which must have no parent yet, or this one) and enters
  // it in the child index when the index mode asks for that.
  // E_OUTOFMEMORY when the children list cannot be created.
  HRESULT AddChild(tAttribute* child);

  // The first child whose name equals `name` and, when `value` is given,
  // whose value equals it; ASCII case-insensitive, null matching only null.
  // Goes through the child index when there is one.
  tAttribute* FindChild(const char* name, const char* value = nullptr);

  // Unlinks the node from its parent's children (and the parent's index).
  void DetachFromParent();

  // Gives a node back: a childless node with `recycle` set goes to the free
  // queue for reuse, anything else (with its subtree) to the deleter thread.
  // The node is detached from its parent first.
  static void ReleaseToPool(tAttribute* node, bool recycle);

  int32_t ChildCount() const { return children != nullptr ? children->Count() : 0; }
  // The children's list cursor is not touched: each call gets its own.
  tGenericContainerIterator<tAttribute> Children() const;

  // The pool's hook for a recycled node: fields back to their defaults,
  // string buffers kept for the next use.
  void ResetForReuse();

  // The key a child is indexed under in this node's child index.
  const char* IndexKeyOf(const tAttribute& child) const;

  // Fields, in the order the table model and the query engine know them.
  tString name;
  tString value;
  tAttribute* parent = nullptr;
  int32_t rowState = kRowUnchanged;
  // Grows with each child appended to the same parent, so that comparing
  // two siblings' numbers tells their order in the list without walking
  // it (the primary-key index gives rows back in table order this way).
  uint32_t siblingOrder = 0;
  tString previousValue;
  tHash* childIndex = nullptr;  // owned
  int32_t indexMode = kIndexNone;
  // On a row: its error state. On "TableDefinition": the cached number of
  // '|'-separated fields of its value (0 = not counted yet).
  int32_t errorStateOrFieldCount = 0;
  tGenericContainer<tAttribute>* children = nullptr;  // owned, with its items
  tAttribute* self = this;

 private:
  // Takes the whole subtree below this node apart without recursion.
  void DestroyChildren();
};

// The process-wide pool of attribute nodes.
tAllocator<tAttribute>& AttributePool();
