// tHash: a chained hash index from text keys to pointers, keys compared
// without regard to letter case.
//
// The bin of a key is a 32-bit hash of the key uppercased (ASCII), masked to
// the bin count, which is always a power of two. The hash function is this
// library's own variant of a well-known 12-byte-block mixing hash: key bytes
// enter as signed 8-bit values, all nine shifts of the mix are arithmetic
// right shifts of signed 32-bit values (13, 8, 13, 12, 16, 5, 3, 10, 15), the
// two first accumulators start at the golden ratio 0x9E3779B9 and the third
// at the seed (19). Stored indexes and peers depend on these exact bins, so
// HashKey must not be "improved".
//
// Nodes come from the process-wide tHashNode pool and go back to it. Keys are
// stored as given (letter case kept). Several nodes may share a key when
// values are told apart with `matchValue`. The hash never owns its keys'
// values unless it was built with a value deleter: then replacing the value
// of an existing key destroys the old value through that deleter (and only
// then; clearing does not destroy values).
//
// Thread safety: none; one thread at a time per hash (the node pool itself
// is thread-safe).
#pragma once

#include <cstdint>

#include "templatelib/Result.h"
#include "templatelib/tAllocator.h"
#include "templatelib/tString.h"

struct tHashNode {
  tString key;
  void* value = nullptr;
  tHashNode* next = nullptr;
  tHashNode* self = nullptr;

  // Called by the pool before a recycled node is handed out again; the key's
  // buffer is kept for the next key.
  void ResetForReuse() {
    key.Empty();
    value = nullptr;
    next = nullptr;
    self = this;
  }
};

// The process-wide pool of hash nodes.
tAllocator<tHashNode>& HashNodePool();

class tHash {
 public:
  using ValueDeleter = void (*)(void*);
  static constexpr uint32_t kDefaultSeed = 19;

  explicit tHash(ValueDeleter ownedValueDeleter = nullptr);
  ~tHash();  // gives every node back to the pool and frees the bins
  tHash(const tHash&) = delete;
  tHash& operator=(const tHash&) = delete;

  // Clears the hash and allocates the smallest power-of-two bin count that
  // holds `requestedEntries` (1 bin for 0 or 1). E_OUTOFMEMORY when the bins
  // cannot be had (the hash is then left without bins), E_INVALIDARG for a
  // request above 2^30.
  HRESULT Size(int32_t requestedEntries);

  // Adds `key` -> `value`. An existing key (any letter case; with
  // `matchValue` also the same value pointer) is refused with E_ABORT unless
  // `replace` is set, which stores the new value (destroying the old one
  // when the hash owns values). `depth`, when given, receives the node's
  // position in its bin's chain (1 = first); for an append it is the chain
  // length before the append. E_FAIL when the hash has no bins,
  // E_OUTOFMEMORY when no node can be had.
  HRESULT Add(const char* key, void* value, bool replace, bool matchValue, int32_t* depth);

  // The value of the first node whose key matches, or null.
  void* Find(const char* key);

  // Removes the first node whose key matches and whose value is `value`.
  // S_OK when removed, S_FALSE when nothing matched.
  HRESULT Remove(const char* key, void* value);

  // Gives every node back to the pool; the bins stay.
  void Clear();

  // The first node of the bin `key` lands in (whatever its key), or null;
  // walk on with `next` and compare keys with KeyMatches. The chain stays
  // valid until the hash changes.
  tHashNode* BinHead(const char* key);
  static bool KeyMatches(const tHashNode& node, const char* key);
  // The length of the longest chain over all bins.
  int32_t LongestChain() const;

  int32_t ItemCount() const { return itemCount_; }
  int32_t BinCount() const { return binCount_; }
  int32_t Bits() const { return bits_; }
  uint32_t Seed() const { return seed_; }

  // The comma-separated key columns of an index (kept for the query engine).
  tString& KeyColumns() { return keyColumns_; }
  // Set when the index was asked for a key column that it could not key
  // on; such an index must not stand in for a scan (kept for the query
  // engine).
  bool& LacksKeyColumn() { return lacksKeyColumn_; }

  // The raw 32-bit hash of `key` as given (no uppercasing); null hashes as "".
  static uint32_t HashKey(const char* key, uint32_t seed);
  // The bin `key` lands in (uppercased, masked); -1 without bins.
  int32_t BinOf(const char* key);

 private:
  // Uppercases `key` into the scratch string and returns its bin.
  int32_t ScratchBin(const char* key);

  tHashNode** bins_ = nullptr;
  int32_t binCount_ = 0;
  int32_t itemCount_ = 0;
  ValueDeleter ownedValueDeleter_;
  uint32_t seed_ = kDefaultSeed;
  int32_t bits_ = 0;
  tString keyScratch_;
  tString keyColumns_;
  bool lacksKeyColumn_ = false;
};
