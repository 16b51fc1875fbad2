// tQueryString: the line store, the distinct index and the column sort.

#include "query/tQueryString.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/NumberText.h"
#include "templatelib/DebugOut.h"

struct tQueryString::Node {
  Node* next;
  char* text;  // right after the node, terminated
};

// Where the lines live: each line's node and text end to end, taken in
// order from blocks that Clear keeps and only the destructor frees. A line
// is written once, when it is added, and never grows; so a set that is
// filled again and again allocates nothing once it has grown, and the
// lines of one fill lie side by side in memory, in the order they came.
class tQueryString::LineStore {
 public:
  // Room for a line of `length` bytes and its terminator, or null.
  Node* Take(size_t length);
  // Gives every line back; the blocks are kept.
  void Reset() {
    block_ = 0;
    used_ = 0;
  }

 private:
  static constexpr size_t kFirstBlockBytes = 512;
  static constexpr size_t kLargestBlockBytes = size_t{64} << 10;
  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t size;
  };
  // Adds a block of at least `size` bytes after the last; false when none
  // can be had.
  bool Grow(size_t size);

  std::vector<Block> blocks_;
  size_t block_ = 0;  // the block being filled; blocks_.size() when none is
  size_t used_ = 0;   // bytes of it taken
};

tQueryString::Node* tQueryString::LineStore::Take(size_t length) {
  // Whole nodes are aligned: blocks start aligned, and so is every node.
  const size_t size = sizeof(Node) + length + 1;
  for (;;) {
    if (block_ == blocks_.size() && !Grow(size)) return nullptr;
    Block& block = blocks_[block_];
    const size_t at = (used_ + alignof(Node) - 1) & ~(alignof(Node) - 1);
    if (at <= block.size && block.size - at >= size) {
      used_ = at + size;
      Node* node = new (block.bytes.get() + at) Node;
      node->next = nullptr;
      node->text = reinterpret_cast<char*>(node + 1);
      return node;
    }
    // What is left of a block that cannot hold the line stays unused
    // until the next fill.
    ++block_;
    used_ = 0;
  }
}

bool tQueryString::LineStore::Grow(size_t size) {
  const size_t last = blocks_.empty() ? 0 : blocks_.back().size;
  size_t bytes = std::min(std::max(kFirstBlockBytes, last * 2), kLargestBlockBytes);
  bytes = std::max(bytes, size);
  Block block{std::unique_ptr<char[]>(new (std::nothrow) char[bytes]), bytes};
  if (block.bytes == nullptr) return false;
  try {
    blocks_.push_back(std::move(block));
  } catch (const std::bad_alloc&) {
    return false;
  }
  block_ = blocks_.size() - 1;
  used_ = 0;
  return true;
}

// The distinct rule's keys (trimmed, letters folded to upper case), built
// on the first question and kept in step with every line added after it.
struct tQueryString::DistinctSet {
  std::unordered_set<std::string> keys;
  bool built = false;
};

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; }

void DistinctKey(const char* text, std::string* key) {
  key->clear();
  if (text == nullptr) return;
  const char* begin = text;
  const char* end = text + std::strlen(text);
  while (begin < end && IsSpace(*begin)) ++begin;
  while (end > begin && IsSpace(end[-1])) --end;
  key->reserve(static_cast<size_t>(end - begin));
  for (const char* p = begin; p < end; ++p) key->push_back(Upper(*p));
}

struct SortEntry {
  const char* key;
  size_t length;  // text keys: up to the next '|'
  double number;  // number keys
  void* node;
};

// Where the key after the `place`-th '|' starts, or null when the line has
// fewer fields.
const char* KeyAfter(const char* line, int32_t place) {
  const char* key = line;
  for (int32_t i = 0; i < place && key != nullptr; ++i) {
    key = std::strchr(key, '|');
    if (key != nullptr) ++key;
  }
  return key;
}

void ReportMissingColumn() {
  DebugOut("tQueryString: Sort algorithm attempted on non existant column... FIX!!!\n");
}

bool TextBefore(const SortEntry& a, const SortEntry& b) {
  size_t common = std::min(a.length, b.length);
  for (size_t i = 0; i < common; ++i) {
    unsigned char x = static_cast<unsigned char>(Upper(a.key[i]));
    unsigned char y = static_cast<unsigned char>(Upper(b.key[i]));
    if (x != y) return x < y;
  }
  return a.length < b.length;
}

}  // namespace

tQueryString::tQueryString() = default;

tQueryString::~tQueryString() { delete distinct_; }

void tQueryString::Clear() {
  lineCount = 0;
  first_ = last_ = cursor_ = nullptr;
  if (store_ != nullptr) store_->Reset();
  if (distinct_ != nullptr) {
    distinct_->keys.clear();
    distinct_->built = false;
  }
}

tQueryString::Node* tQueryString::NewLine(size_t length) {
  if (length >= size_t{INT32_MAX}) return nullptr;
  if (store_ == nullptr) store_.reset(new (std::nothrow) LineStore);
  return store_ != nullptr ? store_->Take(length) : nullptr;
}

void tQueryString::LinkAfter(Node* node, Node* previous) {
  Node*& link = previous != nullptr ? previous->next : first_;
  node->next = link;
  link = node;
  if (previous == last_) last_ = node;
  ++lineCount;
  if (distinct_ != nullptr && distinct_->built) {
    std::string key;
    DistinctKey(node->text, &key);
    distinct_->keys.insert(std::move(key));
  }
}

HRESULT tQueryString::AddCopy(const char* text, size_t length, Node* previous) {
  Node* node = NewLine(length);
  if (node == nullptr) return E_OUTOFMEMORY;
  if (length > 0) std::memcpy(node->text, text, length);
  node->text[length] = '\0';
  LinkAfter(node, previous);
  return S_OK;
}

HRESULT tQueryString::Append(const char* text, int32_t length) {
  // A line ends at its first terminator, whatever length it was given.
  size_t count = 0;
  if (text != nullptr) count = length < 0 ? std::strlen(text) : strnlen(text, size_t(length));
  return AddCopy(text, count, last_);
}

HRESULT tQueryString::AppendJoined(const Piece* pieces, int32_t count, char delimiter) {
  size_t length = count > 0 ? size_t(count) - 1 : 0;
  for (int32_t i = 0; i < count; ++i) length += size_t(pieces[i].length);
  Node* node = NewLine(length);
  if (node == nullptr) return E_OUTOFMEMORY;
  char* out = node->text;
  for (int32_t i = 0; i < count; ++i) {
    if (i > 0) *out++ = delimiter;
    std::memcpy(out, pieces[i].text, size_t(pieces[i].length));
    out += pieces[i].length;
  }
  *out = '\0';
  LinkAfter(node, last_);
  return S_OK;
}

HRESULT tQueryString::InsertOrdered(const char* text, tQueryOrderingCallback compare,
                                    void* context) {
  if (compare == nullptr) return Append(text);
  Node* previous = nullptr;
  for (Node* node = first_; node != nullptr; node = node->next) {
    int32_t order = compare(text, node->text, context);
    if (order == kDropLine) return S_FALSE;
    if (order > 0) break;
    previous = node;
  }
  return AddCopy(text, text != nullptr ? std::strlen(text) : 0, previous);
}

bool tQueryString::ContainsEquivalent(const char* text) {
  if (distinct_ == nullptr) {
    distinct_ = new (std::nothrow) DistinctSet;
    if (distinct_ == nullptr) {
      // No room for the index: answer by walking the lines.
      for (Node* node = first_; node != nullptr; node = node->next) {
        if (tString::CompareTrimmed(node->text, text) == 0) return true;
      }
      return false;
    }
  }
  std::string key;
  if (!distinct_->built) {
    distinct_->keys.reserve(static_cast<size_t>(lineCount));
    for (Node* node = first_; node != nullptr; node = node->next) {
      DistinctKey(node->text, &key);
      distinct_->keys.insert(key);
    }
    distinct_->built = true;
  }
  DistinctKey(text, &key);
  return distinct_->keys.count(key) != 0;
}

HRESULT tQueryString::SortByColumn(int32_t place, bool asText) {
  if (lineCount > 1) {
    std::vector<SortEntry> entries;
    try {
      entries.reserve(static_cast<size_t>(lineCount));
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    for (Node* node = first_; node != nullptr; node = node->next) {
      const char* line = node->text;
      const char* key = KeyAfter(line, place);
      SortEntry entry{key, 0, 0.0, node};
      if (key == nullptr) {
        ReportMissingColumn();
        entry.key = line;
        entry.length = std::strlen(line);
      } else {
        entry.length = std::strcspn(key, "|");
      }
      if (!asText) entry.number = platform::ReadDouble(entry.key);
      entries.push_back(entry);
    }
    if (asText) {
      std::sort(entries.begin(), entries.end(), TextBefore);
    } else {
      std::sort(entries.begin(), entries.end(),
                [](const SortEntry& a, const SortEntry& b) { return a.number < b.number; });
    }
    // Relink in the sorted order.
    first_ = static_cast<Node*>(entries.front().node);
    for (size_t i = 0; i + 1 < entries.size(); ++i) {
      static_cast<Node*>(entries[i].node)->next = static_cast<Node*>(entries[i + 1].node);
    }
    last_ = static_cast<Node*>(entries.back().node);
    last_->next = nullptr;
  } else if (lineCount == 1 && place > 0) {
    // One line needs no order, but its missing column is still a fault.
    const char* line = first_->text;
    if (KeyAfter(line, place) == nullptr) ReportMissingColumn();
  }
  ResetCursor();
  return S_OK;
}

const char* tQueryString::NextLine() {
  if (cursor_ == nullptr) return nullptr;
  const char* text = cursor_->text;
  cursor_ = cursor_->next;
  return text;
}

void tQueryString::ResetCursor() { cursor_ = lineCount > 0 ? first_ : nullptr; }

const char* tQueryString::LineAt(int32_t i) const {
  if (i < 0 || i >= lineCount) return nullptr;
  Node* node = first_;
  for (int32_t k = 0; k < i; ++k) node = node->next;
  return node->text;
}
