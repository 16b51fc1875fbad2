// tGenericContainer: a singly linked list of item pointers with a built-in
// cursor, and tGenericContainerIterator, an outside cursor over one.
//
// Links are never given back to the heap while the list lives: a removed
// item's link is cleared and parked right after the tail, and the next append
// reuses the first parked link before it takes one from the optional link
// queue or the heap. Iteration stops at the tail (the first link with a null
// item), so parked links are never seen. Null items are refused.
//
// Ownership: with `ownsItems` set, destroying the list deletes every item,
// through the element deleter when one is given and otherwise under the
// guarded delete; RemoveItem(..., deleteIt = true, ...) does the same for the
// removed item. The link queue is borrowed: the list takes links from it,
// and on destruction frees its own links and any links still waiting there.
//
// Thread safety: none; one thread at a time per list.
#pragma once

#include <cstdint>
#include <new>

#include "templatelib/DebugOut.h"
#include "templatelib/GuardedDelete.h"
#include "templatelib/Result.h"
#include "templatelib/tLockedQueue.h"

template <class T>
struct tGenericLink {
  T* item = nullptr;
  tGenericLink* next = nullptr;
};

template <class T>
class tGenericContainer {
 public:
  using Link = tGenericLink<T>;
  using ElementDeleter = void (*)(T*);

  explicit tGenericContainer(bool ownsItems = false, ElementDeleter deleter = nullptr,
                             tLockedQueue<Link>* linkQueue = nullptr)
      : ownsItems_(ownsItems), deleter_(deleter), linkQueue_(linkQueue) {}

  ~tGenericContainer() { Destroy(); }

  tGenericContainer(const tGenericContainer&) = delete;
  tGenericContainer& operator=(const tGenericContainer&) = delete;

  // Appends `item` as the new tail. E_POINTER for a null item,
  // E_OUTOFMEMORY when no link can be had.
  HRESULT Append(T* item) {
    if (item == nullptr) return E_POINTER;
    Link* link = FirstSpare();
    if (link == nullptr) {
      if (linkQueue_ != nullptr) link = linkQueue_->Pop();
      if (link == nullptr) link = new (std::nothrow) Link();
      if (link == nullptr) return E_OUTOFMEMORY;
      link->next = nullptr;
      if (tail_ != nullptr) {
        tail_->next = link;
      } else {
        first_ = link;
      }
    }
    link->item = item;
    tail_ = link;
    ++count_;
    return S_OK;
  }

  // Removes the first link holding `item` (every one with `allOccurrences`),
  // then deletes the item when `deleteIt` is set. S_OK when something was
  // removed or the list is on hold, E_FAIL when `item` is not in the list.
  HRESULT RemoveItem(T* item, bool deleteIt, bool allOccurrences) {
    if (hold_) return S_OK;
    if (item == nullptr) return E_POINTER;
    bool removed = false;
    Link* previous = nullptr;
    Link* link = count_ > 0 ? first_ : nullptr;
    int32_t toVisit = count_;
    while (link != nullptr && toVisit-- > 0) {
      Link* following = link->next;
      if (link->item != item) {
        previous = link;
        link = following;
        continue;
      }
      if (link == first_ && link != tail_ && following == nullptr) {
        // The head claims not to be the tail yet has nothing after it.
        DebugOut("tGenericContainer::cleanObject, Logic error!!! Fix!!\n");
        link->item = nullptr;
        return E_UNEXPECTED;
      }
      if (cursor_ == link) cursor_ = following;
      Unlink(link, previous);
      ParkAfterTail(link);
      --count_;
      removed = true;
      if (!allOccurrences) break;
      link = following;  // `previous` stays: it is still the link before `following`
    }
    if (!removed) return E_FAIL;
    if (deleteIt) DeleteItem(item);
    return S_OK;
  }

  void ResetCursor() { cursor_ = count_ > 0 ? first_ : nullptr; }

  // The item under the cursor, moving the cursor on; null at the end.
  T* Next() {
    if (cursor_ == nullptr || cursor_->item == nullptr) return nullptr;
    T* item = cursor_->item;
    cursor_ = cursor_->next;
    return item;
  }

  int32_t Count() const { return count_; }
  T* Head() const { return count_ > 0 ? first_->item : nullptr; }
  T* Tail() const { return tail_ != nullptr ? tail_->item : nullptr; }

  // While held, RemoveItem does nothing and reports success.
  void SetHold(bool hold) { hold_ = hold; }
  bool OwnsItems() const { return ownsItems_; }
  void SetOwnsItems(bool owns) { ownsItems_ = owns; }

  // Deletes owned items, frees every link (parked ones and those waiting in
  // the link queue included) and leaves an empty list. Safe to call twice.
  void Destroy() {
    Link* link = first_;
    for (int32_t i = 0; i < count_ && link != nullptr; ++i, link = link->next) {
      if (ownsItems_ && link->item != nullptr) DeleteItem(link->item);
      link->item = nullptr;
    }
    link = first_;
    while (link != nullptr) {
      Link* following = link->next;
      delete link;
      link = following;
    }
    if (linkQueue_ != nullptr) {
      while (Link* waiting = linkQueue_->Pop()) delete waiting;
    }
    first_ = tail_ = cursor_ = nullptr;
    count_ = 0;
  }

 private:
  template <class>
  friend class tGenericContainerIterator;

  Link* FirstSpare() const {
    return tail_ != nullptr ? tail_->next : (count_ == 0 ? first_ : nullptr);
  }

  void Unlink(Link* link, Link* previous) {
    if (previous != nullptr) {
      previous->next = link->next;
    } else {
      first_ = link->next;
    }
    if (link == tail_) tail_ = previous;
  }

  // Parks a cleared link as the first spare, just after the tail (or at the
  // front of the chain when the list is now empty).
  void ParkAfterTail(Link* link) {
    link->item = nullptr;
    if (tail_ != nullptr) {
      link->next = tail_->next;
      tail_->next = link;
    } else {
      link->next = first_;
      first_ = link;
    }
  }

  void DeleteItem(T* item) {
    if (deleter_ != nullptr) {
      deleter_(item);
    } else {
      GuardedDelete(item);
    }
  }

  int32_t count_ = 0;
  // The chain starts at first_: the used links (first_..tail_) come first,
  // then the parked ones. With no items, first_ is the first parked link.
  Link* first_ = nullptr;
  Link* tail_ = nullptr;
  Link* cursor_ = nullptr;
  bool ownsItems_;
  ElementDeleter deleter_;
  bool hold_ = false;
  tLockedQueue<Link>* linkQueue_;
};

// An outside cursor over a list, independent of the list's own cursor. The
// list must outlive it and must not change while it is used.
template <class T>
class tGenericContainerIterator {
 public:
  explicit tGenericContainerIterator(const tGenericContainer<T>& list)
      : link_(list.count_ > 0 ? list.first_ : nullptr) {}
  virtual ~tGenericContainerIterator() = default;

  T* Next() {
    if (link_ == nullptr || link_->item == nullptr) return nullptr;
    T* item = link_->item;
    link_ = link_->next;
    return item;
  }

  // The item Next() would return, without moving on; null at the end.
  T* Peek() const { return link_ != nullptr ? link_->item : nullptr; }

 private:
  const tGenericLink<T>* link_;
};
