// tHash: the exact bins of its hash function, sizing, and add / find /
// remove with letter case ignored.

#include "templatelib/tHash.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Bins worked out from the function's description (signed key bytes, all
// nine mix shifts arithmetic right shifts, seed 19), independently of the
// code under test. The published function, or one with logical shifts or
// unsigned bytes, lands these keys elsewhere.
struct KnownHash {
  const char* uppercasedKey;
  uint32_t hash;
};

const KnownHash kKnownHashes[] = {
    {"", 0x8402b921u},
    {"A", 0xfccb0e73u},
    {"TABLE", 0xd3d3611bu},
    {"PARAMETERDEFAULTS", 0xbf57aaa4u},  // one full block and a tail
    {"ABCDEFGHIJKL", 0x27873b65u},       // exactly one block, empty tail
    {"\xe9T\xe9", 0x7910b508u},          // bytes above 0x7F enter negative
    {"PARM1|FLOAT|GROUP", 0x7965147cu},
    {"ROW-0001-\xff\x80XYZ", 0x49f3e784u},
};

TEST(tHashFunction, KnownKeysGiveTheDescribedHashes) {
  for (const KnownHash& known : kKnownHashes) {
    EXPECT_EQ(tHash::HashKey(known.uppercasedKey, tHash::kDefaultSeed), known.hash)
        << known.uppercasedKey;
  }
  EXPECT_EQ(tHash::HashKey(nullptr, 19), tHash::HashKey("", 19))
      << "a null key hashes as the empty text";
}

TEST(tHashFunction, BinIsTheUppercasedHashMaskedToTheBinCount) {
  tHash hash;
  ASSERT_EQ(hash.Size(1000), S_OK);
  EXPECT_EQ(hash.BinCount(), 1024);
  EXPECT_EQ(hash.Bits(), 10);
  EXPECT_EQ(hash.BinOf("table"), 283);
  EXPECT_EQ(hash.BinOf("TaBlE"), 283);
  EXPECT_EQ(hash.BinOf("ParameterDefaults"), 676);
  EXPECT_EQ(hash.BinOf("parm1|float|group"), 124);
  EXPECT_EQ(hash.BinOf("a"), 627);
  EXPECT_EQ(hash.BinOf(nullptr), 289);
}

TEST(tHashSizing, SmallestPowerOfTwoThatHoldsTheRequest) {
  struct Case {
    int32_t request;
    int32_t bins;
  };
  const Case cases[] = {{0, 1}, {1, 1}, {2, 2}, {3, 4}, {1024, 1024}, {1025, 2048}};
  for (const Case& c : cases) {
    tHash hash;
    ASSERT_EQ(hash.Size(c.request), S_OK);
    EXPECT_EQ(hash.BinCount(), c.bins) << c.request;
    EXPECT_EQ(hash.ItemCount(), 0);
  }
  tHash hash;
  EXPECT_EQ(hash.Size((1 << 30) + 1), E_INVALIDARG);
}

TEST(tHashSizing, ResizingClearsTheEntries) {
  tHash hash;
  int value = 1;
  ASSERT_EQ(hash.Size(4), S_OK);
  ASSERT_EQ(hash.Add("k", &value, false, false, nullptr), S_OK);
  ASSERT_EQ(hash.Size(16), S_OK);
  EXPECT_EQ(hash.ItemCount(), 0);
  EXPECT_EQ(hash.Find("k"), nullptr);
}

class HashTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(hash_.Size(64), S_OK); }
  tHash hash_;
  int a_ = 1, b_ = 2, c_ = 3;
};

TEST_F(HashTest, WithoutBinsNothingIsAddedOrFound) {
  tHash unsized;
  EXPECT_EQ(unsized.Add("k", &a_, false, false, nullptr), E_FAIL);
  EXPECT_EQ(unsized.Find("k"), nullptr);
  EXPECT_EQ(unsized.Remove("k", &a_), S_FALSE);
}

TEST_F(HashTest, KeysMatchInAnyLetterCaseAndKeepTheirOwnCase) {
  int32_t depth = 0;
  ASSERT_EQ(hash_.Add("UserName", &a_, false, false, &depth), S_OK);
  EXPECT_EQ(depth, 1);
  EXPECT_EQ(hash_.Find("username"), &a_);
  EXPECT_EQ(hash_.Find("USERNAME"), &a_);
  EXPECT_EQ(hash_.Find("UserNam"), nullptr);
  EXPECT_EQ(hash_.Add("USERNAME", &b_, false, false, &depth), E_ABORT);
  EXPECT_EQ(depth, 1);
  EXPECT_EQ(hash_.Find("username"), &a_);
  EXPECT_EQ(hash_.ItemCount(), 1);
}

TEST_F(HashTest, ReplaceStoresTheNewValue) {
  ASSERT_EQ(hash_.Add("key", &a_, false, false, nullptr), S_OK);
  ASSERT_EQ(hash_.Add("KEY", &b_, true, false, nullptr), S_OK);
  EXPECT_EQ(hash_.Find("key"), &b_);
  EXPECT_EQ(hash_.ItemCount(), 1);
}

TEST_F(HashTest, MatchValueAllowsSeveralNodesPerKey) {
  int32_t depth = 0;
  ASSERT_EQ(hash_.Add("dup", &a_, false, true, &depth), S_OK);
  ASSERT_EQ(hash_.Add("DUP", &b_, false, true, &depth), S_OK);
  EXPECT_EQ(depth, 1) << "appended after a chain of one";
  EXPECT_EQ(hash_.Add("Dup", &a_, false, true, &depth), E_ABORT);
  EXPECT_EQ(depth, 1);
  EXPECT_EQ(hash_.Add("dUp", &b_, false, true, &depth), E_ABORT);
  EXPECT_EQ(depth, 2);
  EXPECT_EQ(hash_.ItemCount(), 2);
  EXPECT_EQ(hash_.Find("dup"), &a_) << "find returns the first match";
  EXPECT_EQ(hash_.Remove("DUP", &a_), S_OK);
  EXPECT_EQ(hash_.Find("dup"), &b_);
  EXPECT_EQ(hash_.Remove("dup", &a_), S_FALSE);
  EXPECT_EQ(hash_.Remove("dup", &b_), S_OK);
  EXPECT_EQ(hash_.ItemCount(), 0);
}

TEST_F(HashTest, ChainsInOneBinReportTheirDepth) {
  tHash single;
  ASSERT_EQ(single.Size(1), S_OK);  // one bin: every key collides
  int32_t depth = 0;
  ASSERT_EQ(single.Add("one", &a_, false, false, &depth), S_OK);
  EXPECT_EQ(depth, 1);
  ASSERT_EQ(single.Add("two", &b_, false, false, &depth), S_OK);
  EXPECT_EQ(depth, 1);
  ASSERT_EQ(single.Add("three", &c_, false, false, &depth), S_OK);
  EXPECT_EQ(depth, 2);
  EXPECT_EQ(single.Add("THREE", &c_, false, false, &depth), E_ABORT);
  EXPECT_EQ(depth, 3);
  EXPECT_EQ(single.Find("two"), &b_);
  EXPECT_EQ(single.Remove("two", &b_), S_OK);
  EXPECT_EQ(single.Find("three"), &c_);
  EXPECT_EQ(single.Find("one"), &a_);
}

TEST_F(HashTest, NullKeyIsItsOwnKey) {
  ASSERT_EQ(hash_.Add(nullptr, &a_, false, false, nullptr), S_OK);
  ASSERT_EQ(hash_.Add("", &b_, false, false, nullptr), S_OK) << "null and empty differ";
  EXPECT_EQ(hash_.Find(nullptr), &a_);
  EXPECT_EQ(hash_.Find(""), &b_);
}

TEST_F(HashTest, ClearKeepsTheBins) {
  ASSERT_EQ(hash_.Add("x", &a_, false, false, nullptr), S_OK);
  hash_.Clear();
  EXPECT_EQ(hash_.ItemCount(), 0);
  EXPECT_EQ(hash_.BinCount(), 64);
  EXPECT_EQ(hash_.Find("x"), nullptr);
  EXPECT_EQ(hash_.Add("x", &b_, false, false, nullptr), S_OK);
}

struct Owned {
  static inline int destroyed = 0;
  ~Owned() { ++destroyed; }
};

void DeleteOwned(void* value) { delete static_cast<Owned*>(value); }

TEST(HashOwnership, ReplacingAnOwnedValueDestroysTheOldOneButNotItself) {
  Owned::destroyed = 0;
  tHash hash(DeleteOwned);
  ASSERT_EQ(hash.Size(8), S_OK);
  Owned* first = new Owned;
  Owned* second = new Owned;
  ASSERT_EQ(hash.Add("row", first, false, false, nullptr), S_OK);
  ASSERT_EQ(hash.Add("ROW", second, true, false, nullptr), S_OK);
  EXPECT_EQ(Owned::destroyed, 1);
  ASSERT_EQ(hash.Add("row", second, true, false, nullptr), S_OK);
  EXPECT_EQ(Owned::destroyed, 1) << "replacing a value with itself keeps it alive";
  EXPECT_EQ(hash.Find("row"), second);
  hash.Clear();
  delete second;
}

TEST(HashAgainstModel, ManyKeysAddFindAndRemove) {
  tHash hash;
  ASSERT_EQ(hash.Size(500), S_OK);
  std::vector<std::string> keys;
  std::vector<int> values(2000);
  for (int i = 0; i < 2000; ++i) keys.push_back("Key-" + std::to_string(i * 7919));
  for (int i = 0; i < 2000; ++i)
    ASSERT_EQ(hash.Add(keys[i].c_str(), &values[i], false, false, nullptr), S_OK);
  EXPECT_EQ(hash.ItemCount(), 2000);
  for (int i = 0; i < 2000; i += 2) ASSERT_EQ(hash.Remove(keys[i].c_str(), &values[i]), S_OK);
  for (int i = 0; i < 2000; ++i) {
    std::string upper = keys[i];
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(hash.Find(upper.c_str()), i % 2 == 0 ? nullptr : &values[i]) << keys[i];
  }
  EXPECT_EQ(hash.ItemCount(), 1000);
}

}  // namespace
