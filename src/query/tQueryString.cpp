// tQueryString: the node chain, the distinct index and the column sort.

#include "query/tQueryString.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/NumberText.h"
#include "templatelib/DebugOut.h"

struct tQueryString::Node {
  tString text;
  Node* next = nullptr;
};

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

tQueryString::~tQueryString() {
  Node* node = first_;
  while (node != nullptr) {
    Node* next = node->next;
    delete node;
    node = next;
  }
  delete distinct_;
}

void tQueryString::Clear() {
  lineCount = 0;
  lastUsed_ = nullptr;
  cursor_ = nullptr;
  if (distinct_ != nullptr) {
    distinct_->keys.clear();
    distinct_->built = false;
  }
}

HRESULT tQueryString::Append(const char* text, int32_t length) {
  Node* node = lastUsed_ != nullptr ? lastUsed_->next : first_;
  bool fresh = node == nullptr;
  if (fresh) {
    node = new (std::nothrow) Node;
    if (node == nullptr) return E_OUTOFMEMORY;
  }
  HRESULT hr = length < 0 ? node->text.Assign(text) : node->text.AssignN(text, length);
  if (hr == S_OK && distinct_ != nullptr && distinct_->built) {
    std::string key;
    DistinctKey(node->text.Text(), &key);
    distinct_->keys.insert(std::move(key));
  }
  if (hr != S_OK) {
    if (fresh) delete node;
    return hr;
  }
  // A fresh node goes at the end of the chain: spare nodes all lie after
  // the last used one, so there are none when a fresh one is needed.
  if (fresh) {
    if (lastUsed_ != nullptr) {
      lastUsed_->next = node;
    } else {
      first_ = node;
    }
  }
  lastUsed_ = node;
  ++lineCount;
  return S_OK;
}

HRESULT tQueryString::InsertOrdered(const char* text, tQueryOrderingCallback compare,
                                    void* context) {
  if (compare == nullptr) return Append(text);
  Node* previous = nullptr;
  Node* before = nullptr;
  for (Node* node = lineCount > 0 ? first_ : nullptr; node != nullptr;
       node = node == lastUsed_ ? nullptr : node->next) {
    int32_t order = compare(text, node->text.Text(), context);
    if (order == kDropLine) return S_FALSE;
    if (order > 0) {
      before = node;
      break;
    }
    previous = node;
  }
  if (before == nullptr) return Append(text);

  // Take a spare node out of the chain (or a new one) and link it in.
  Node* node = lastUsed_->next;
  bool fresh = node == nullptr;
  if (fresh) {
    node = new (std::nothrow) Node;
    if (node == nullptr) return E_OUTOFMEMORY;
  }
  HRESULT hr = node->text.Assign(text);
  if (hr != S_OK) {
    if (fresh) delete node;
    return hr;
  }
  if (!fresh) lastUsed_->next = node->next;
  node->next = before;
  if (previous != nullptr) {
    previous->next = node;
  } else {
    first_ = node;
  }
  if (distinct_ != nullptr && distinct_->built) {
    std::string key;
    DistinctKey(node->text.Text(), &key);
    distinct_->keys.insert(std::move(key));
  }
  ++lineCount;
  return S_OK;
}

bool tQueryString::ContainsEquivalent(const char* text) {
  if (distinct_ == nullptr) {
    distinct_ = new (std::nothrow) DistinctSet;
    if (distinct_ == nullptr) {
      // No room for the index: answer by walking the lines.
      for (Node* node = lineCount > 0 ? first_ : nullptr; node != nullptr;
           node = node == lastUsed_ ? nullptr : node->next) {
        if (tString::CompareTrimmed(node->text.Text(), text) == 0) return true;
      }
      return false;
    }
  }
  std::string key;
  if (!distinct_->built) {
    distinct_->keys.reserve(static_cast<size_t>(lineCount));
    for (Node* node = lineCount > 0 ? first_ : nullptr; node != nullptr;
         node = node == lastUsed_ ? nullptr : node->next) {
      DistinctKey(node->text.Text(), &key);
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
    for (Node* node = first_;; node = node->next) {
      const char* line = node->text.Text() != nullptr ? node->text.Text() : "";
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
      if (node == lastUsed_) break;
    }
    if (asText) {
      std::sort(entries.begin(), entries.end(), TextBefore);
    } else {
      std::sort(entries.begin(), entries.end(),
                [](const SortEntry& a, const SortEntry& b) { return a.number < b.number; });
    }
    // Relink in the sorted order; the spare nodes stay after the last line.
    Node* spare = lastUsed_->next;
    first_ = static_cast<Node*>(entries.front().node);
    for (size_t i = 0; i + 1 < entries.size(); ++i) {
      static_cast<Node*>(entries[i].node)->next = static_cast<Node*>(entries[i + 1].node);
    }
    lastUsed_ = static_cast<Node*>(entries.back().node);
    lastUsed_->next = spare;
  } else if (lineCount == 1 && place > 0) {
    // One line needs no order, but its missing column is still a fault.
    const char* line = first_->text.Text() != nullptr ? first_->text.Text() : "";
    if (KeyAfter(line, place) == nullptr) ReportMissingColumn();
  }
  ResetCursor();
  return S_OK;
}

const char* tQueryString::NextLine() {
  if (cursor_ == nullptr) return nullptr;
  const char* text = cursor_->text.Text();
  cursor_ = cursor_ == lastUsed_ ? nullptr : cursor_->next;
  return text != nullptr ? text : "";
}

void tQueryString::ResetCursor() { cursor_ = lineCount > 0 ? first_ : nullptr; }

const char* tQueryString::LineAt(int32_t i) const {
  if (i < 0 || i >= lineCount) return nullptr;
  Node* node = first_;
  for (int32_t k = 0; k < i; ++k) node = node->next;
  return node->text.Text() != nullptr ? node->text.Text() : "";
}
