#include "templatelib/tHash.h"

#include <cstring>
#include <new>

namespace {

constexpr uint32_t kGoldenRatio = 0x9E3779B9u;
constexpr int32_t kLargestRequest = 1 << 30;

// Arithmetic right shift of the 32-bit pattern read as a signed value
// (defined as arithmetic in C++20), handed back as the bit pattern.
inline uint32_t Sar(uint32_t value, int bits) {
  return static_cast<uint32_t>(static_cast<int32_t>(value) >> bits);
}

// The key byte as a signed 8-bit value, sign-extended to 32 bits.
inline uint32_t SignedByte(const char* key, int index) {
  return static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(key[index])));
}

inline uint32_t Word(const char* key) {
  return SignedByte(key, 0) + (SignedByte(key, 1) << 8) + (SignedByte(key, 2) << 16) +
         (SignedByte(key, 3) << 24);
}

// The mix with all nine shifts to the right, each arithmetic. Additions and
// subtractions wrap in uint32_t; only the shifts see the signed view.
// clang-format off
inline void Mix(uint32_t& a, uint32_t& b, uint32_t& c) {
  a -= b; a -= c; a ^= Sar(c, 13);
  b -= c; b -= a; b ^= Sar(a, 8);
  c -= a; c -= b; c ^= Sar(b, 13);
  a -= b; a -= c; a ^= Sar(c, 12);
  b -= c; b -= a; b ^= Sar(a, 16);
  c -= a; c -= b; c ^= Sar(b, 5);
  a -= b; a -= c; a ^= Sar(c, 3);
  b -= c; b -= a; b ^= Sar(a, 10);
  c -= a; c -= b; c ^= Sar(b, 15);
}
// clang-format on

inline bool KeysMatch(const tString& stored, const char* key) {
  return tString::CompareNoCase(stored.Text(), key) == 0;
}

}  // namespace

tAllocator<tHashNode>& HashNodePool() { return ProcessWidePool<tHashNode>(); }

uint32_t tHash::HashKey(const char* key, uint32_t seed) {
  if (key == nullptr) key = "";
  const char* k = key;
  size_t length = std::strlen(key);
  size_t left = length;
  uint32_t a = kGoldenRatio;
  uint32_t b = kGoldenRatio;
  uint32_t c = seed;
  while (left >= 12) {
    a += Word(k);
    b += Word(k + 4);
    c += Word(k + 8);
    Mix(a, b, c);
    k += 12;
    left -= 12;
  }
  c += static_cast<uint32_t>(length);
  // Tail bytes, highest first; the lowest byte of c is left to the length.
  switch (left) {
    case 11:
      c += SignedByte(k, 10) << 24;
      [[fallthrough]];
    case 10:
      c += SignedByte(k, 9) << 16;
      [[fallthrough]];
    case 9:
      c += SignedByte(k, 8) << 8;
      [[fallthrough]];
    case 8:
      b += SignedByte(k, 7) << 24;
      [[fallthrough]];
    case 7:
      b += SignedByte(k, 6) << 16;
      [[fallthrough]];
    case 6:
      b += SignedByte(k, 5) << 8;
      [[fallthrough]];
    case 5:
      b += SignedByte(k, 4);
      [[fallthrough]];
    case 4:
      a += SignedByte(k, 3) << 24;
      [[fallthrough]];
    case 3:
      a += SignedByte(k, 2) << 16;
      [[fallthrough]];
    case 2:
      a += SignedByte(k, 1) << 8;
      [[fallthrough]];
    case 1:
      a += SignedByte(k, 0);
      break;
    default:
      break;
  }
  Mix(a, b, c);
  return c;
}

tHash::tHash(ValueDeleter ownedValueDeleter) : ownedValueDeleter_(ownedValueDeleter) {}

tHash::~tHash() {
  Clear();
  delete[] bins_;
}

HRESULT tHash::Size(int32_t requestedEntries) {
  if (requestedEntries > kLargestRequest) return E_INVALIDARG;
  Clear();
  delete[] bins_;
  bins_ = nullptr;
  binCount_ = 0;
  bits_ = 0;
  int32_t bits = 0;
  while ((int64_t{1} << bits) < requestedEntries) ++bits;
  bins_ = new (std::nothrow) tHashNode*[size_t{1} << bits]();
  if (bins_ == nullptr) return E_OUTOFMEMORY;
  bits_ = bits;
  binCount_ = int32_t{1} << bits;
  return S_OK;
}

int32_t tHash::ScratchBin(const char* key) {
  // One uppercased scratch copy per operation, hashed once.
  if (keyScratch_.Assign(key != nullptr ? key : "") != S_OK) return -1;
  keyScratch_.ToUpper();
  return static_cast<int32_t>(HashKey(keyScratch_.Text(), seed_) &
                              static_cast<uint32_t>(binCount_ - 1));
}

int32_t tHash::BinOf(const char* key) {
  if (binCount_ == 0) return -1;
  return ScratchBin(key);
}

HRESULT tHash::Add(const char* key, void* value, bool replace, bool matchValue, int32_t* depth) {
  if (binCount_ == 0) return E_FAIL;
  int32_t bin = ScratchBin(key);
  if (bin < 0) return E_OUTOFMEMORY;
  int32_t position = 0;
  tHashNode* last = nullptr;
  for (tHashNode* node = bins_[bin]; node != nullptr; node = node->next) {
    ++position;
    last = node;
    if (!KeysMatch(node->key, key) || (matchValue && node->value != value)) continue;
    if (depth != nullptr) *depth = position;
    if (!replace) return E_ABORT;
    // Replacing a value with itself must not destroy it.
    if (ownedValueDeleter_ != nullptr && node->value != nullptr && node->value != value) {
      ownedValueDeleter_(node->value);
    }
    node->value = value;
    return S_OK;
  }
  tHashNode* node = HashNodePool().Take();
  if (node == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = key != nullptr ? node->key.Assign(key) : S_OK;
  if (key == nullptr) node->key.Release();
  if (hr != S_OK) {
    HashNodePool().RecycleOrDelete(node);
    return E_OUTOFMEMORY;
  }
  node->value = value;
  node->next = nullptr;
  node->self = node;
  if (last == nullptr) {
    bins_[bin] = node;
    position = 1;
  } else {
    last->next = node;  // depth: the chain length before the append
  }
  ++itemCount_;
  if (depth != nullptr) *depth = position;
  return S_OK;
}

void* tHash::Find(const char* key) {
  if (binCount_ == 0) return nullptr;
  int32_t bin = ScratchBin(key);
  if (bin < 0) return nullptr;
  for (tHashNode* node = bins_[bin]; node != nullptr; node = node->next) {
    if (KeysMatch(node->key, key)) return node->value;
  }
  return nullptr;
}

HRESULT tHash::Remove(const char* key, void* value) {
  if (binCount_ == 0) return S_FALSE;
  int32_t bin = ScratchBin(key);
  if (bin < 0) return E_OUTOFMEMORY;
  tHashNode* previous = nullptr;
  for (tHashNode* node = bins_[bin]; node != nullptr; previous = node, node = node->next) {
    if (node->value != value || !KeysMatch(node->key, key)) continue;
    if (previous != nullptr) {
      previous->next = node->next;
    } else {
      bins_[bin] = node->next;
    }
    HashNodePool().RecycleOrDelete(node);
    --itemCount_;
    return S_OK;
  }
  return S_FALSE;
}

tHashNode* tHash::BinHead(const char* key) {
  if (binCount_ == 0) return nullptr;
  int32_t bin = ScratchBin(key);
  return bin < 0 ? nullptr : bins_[bin];
}

bool tHash::KeyMatches(const tHashNode& node, const char* key) { return KeysMatch(node.key, key); }

int32_t tHash::LongestChain() const {
  int32_t longest = 0;
  for (int32_t i = 0; i < binCount_; ++i) {
    int32_t length = 0;
    for (const tHashNode* node = bins_[i]; node != nullptr; node = node->next) ++length;
    if (length > longest) longest = length;
  }
  return longest;
}

void tHash::Clear() {
  tAllocator<tHashNode>& pool = HashNodePool();
  for (int32_t i = 0; i < binCount_; ++i) {
    tHashNode* node = bins_[i];
    bins_[i] = nullptr;
    while (node != nullptr) {
      tHashNode* next = node->next;
      pool.RecycleOrDelete(node);
      node = next;
    }
  }
  itemCount_ = 0;
}
