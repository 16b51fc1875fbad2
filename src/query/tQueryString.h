// tQueryString: the result set of a query, lines of text with a read cursor.
//
// Each line holds one row's selected values joined by the query's result
// delimiter. Lines live in a singly linked chain of nodes, each node with
// its text right behind it, taken in order from blocks of memory that
// clearing the set keeps: a result set that is filled again and again
// allocates nothing once it has grown, and the lines of a large result lie
// side by side instead of all over the heap. A line's text stays where it
// is until the set is cleared.
//
// Appending is constant time; the ordered insert walks the lines. Sorting by
// column orders the lines by the text after the n-th '|' (the field
// separator, whatever the result delimiter was), as text (letters folded to
// upper case, byte order, the key ending at the next '|') or as a number
// (the leading decimal number of the key, 0 when there is none). Sorting
// never recurses deeper than logarithmically.
//
// Thread safety: one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "templatelib/tString.h"

// An ordering callback: positive when `newLine` belongs before
// `existingLine`. kDropLine drops the new line.
using tQueryOrderingCallback = int32_t (*)(const char* newLine, const char* existingLine,
                                           void* context);
inline constexpr int32_t kDropLine = 0xFE00;

class tQueryString {
 public:
  tQueryString();
  ~tQueryString();
  tQueryString(const tQueryString&) = delete;
  tQueryString& operator=(const tQueryString&) = delete;

  int32_t lineCount = 0;  // first member, as callers read it

  // Empties the set, keeping its memory for the next lines; resets the
  // cursor.
  void Clear();

  // Appends a line of `length` bytes (-1: up to the terminator). S_OK or
  // E_OUTOFMEMORY.
  HRESULT Append(const char* text, int32_t length = -1);

  // A run of bytes (no terminator among them) that AppendJoined puts in a line.
  struct Piece {
    const char* text;
    int32_t length;
  };
  // Appends the line of the `count` pieces joined by `delimiter`: the line
  // Append(joined text) would give, without the joined text first built
  // elsewhere. S_OK or E_OUTOFMEMORY.
  HRESULT AppendJoined(const Piece* pieces, int32_t count, char delimiter);

  // Inserts the line before the first line for which `compare`(text, line,
  // context) is positive, else at the end. A result of kDropLine drops the
  // line (S_FALSE). S_OK or E_OUTOFMEMORY otherwise.
  HRESULT InsertOrdered(const char* text, tQueryOrderingCallback compare, void* context);

  // True when a line equals `text` ignoring letter case and surrounding
  // white space (the distinct rule). Fast on large sets.
  bool ContainsEquivalent(const char* text);

  // Sorts the lines by the field after the `place`-th '|' (0: the line's
  // start), as text or as a number. A line with fewer fields is reported
  // on the debug output ("tQueryString: Sort algorithm attempted on non
  // existant column... FIX!!!\n", once per line) and sorts by its whole
  // text. Resets the cursor. S_OK or E_OUTOFMEMORY.
  HRESULT SortByColumn(int32_t place, bool asText);

  // The read cursor: the next line, or null after the last.
  const char* NextLine();
  void ResetCursor();

  // Line `i` (0-based), or null; walks the chain (tests and small sets).
  const char* LineAt(int32_t i) const;

 private:
  struct Node;
  class LineStore;
  // A new line of `length` bytes, not linked in yet, for the caller to fill
  // and terminate; null when no room can be had.
  Node* NewLine(size_t length);
  // Links a filled line in after `previous` (null: first) and enters it in
  // the distinct index.
  void LinkAfter(Node* node, Node* previous);
  // A line of the first `length` bytes of `text`, after `previous`.
  HRESULT AddCopy(const char* text, size_t length, Node* previous);

  std::unique_ptr<LineStore> store_;  // made with the first line
  Node* first_ = nullptr;
  Node* last_ = nullptr;  // null when empty
  Node* cursor_ = nullptr;
  struct DistinctSet;
  DistinctSet* distinct_ = nullptr;  // built on the first ContainsEquivalent
};
