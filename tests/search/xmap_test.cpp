#include "search/xmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/framework/string_array.h"
#include "tests/support/alloc_failure.h"

namespace {

using ScoreMap = CxMap<int, CStringArray>;
using Node = ScoreMap::ELSTR;
using Keys = std::vector<int>;

// Opens the map's fields and machinery to the tests.
class Probe : public ScoreMap {
 public:
  using ScoreMap::m_nCount;
  using ScoreMap::m_nGrowBy;
  using ScoreMap::m_nIndexSize;
  using ScoreMap::m_pLastFound;
  using ScoreMap::m_ppIndex;
  using ScoreMap::m_pTail;
  using ScoreMap::SortIndex;

  Node* Add(int key) { return FindOrInsert(key, false); }

  Keys Walk() const {
    Keys keys;
    for (Node* node = GetHead(); node != nullptr; node = node->pNext) keys.push_back(node->key);
    return keys;
  }

  // The list is ascending, doubly linked, m_nCount long and ends at m_pTail;
  // while the index is on it holds the list's nodes in list order.
  void ExpectConsistent() const {
    int n = 0;
    const Node* prev = nullptr;
    for (const Node* node = GetHead(); node != nullptr; prev = node, node = node->pNext, ++n) {
      EXPECT_EQ(node->pPrev, prev);
      if (prev != nullptr) {
        EXPECT_LT(prev->key, node->key);
      }
      if (m_nGrowBy != 0 && n < m_nIndexSize) {
        EXPECT_EQ(m_ppIndex[n], node) << "index entry " << n;
      }
    }
    EXPECT_EQ(n, m_nCount);
    EXPECT_EQ(m_pTail, prev);
    if (m_nGrowBy != 0) {
      EXPECT_LE(m_nCount, m_nIndexSize);
    }
  }
};

// A fixed pseudo-random key sequence with repeats.
Keys MixedKeys(int n) {
  Keys keys;
  std::uint32_t x = 12345;
  for (int i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    keys.push_back(static_cast<int>(x >> 16) % 500 - 250);
  }
  return keys;
}

Keys SortedUnique(Keys keys) {
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return keys;
}

TEST(XMapTest, StartsEmptyWithTheIndexOn) {
  Probe map;
  EXPECT_EQ(map.GetHead(), nullptr);
  EXPECT_EQ(map.m_pTail, nullptr);
  EXPECT_EQ(map.m_nGrowBy, 128);
  EXPECT_EQ(map.m_nIndexSize, 128);
  EXPECT_EQ(map.FindIndexPos(5, false), 0);
  EXPECT_EQ(map.FindIndexPos(5, true), -1);
  EXPECT_EQ(map.Find(5), nullptr);
  EXPECT_TRUE(map.Walk().empty());
}

TEST(XMapTest, RepeatedKeyReturnsItsNodeAndWalkIsAscending) {
  Probe map;
  Node* first = map.Add(-110);
  first->value.Add(u"a.txt");
  map.Add(-20)->value.Add(u"b.txt");
  Node* again = map.Add(-110);
  map.Add(-30);
  EXPECT_EQ(again, first);
  again->value.Add(u"c.txt");
  EXPECT_EQ(map.m_nCount, 3);
  EXPECT_EQ(map.Walk(), (Keys{-110, -30, -20}));
  ASSERT_EQ(first->value.GetSize(), 2);
  EXPECT_EQ(first->value[1], u"c.txt");
  map.ExpectConsistent();
}

TEST(XMapTest, AnyInsertOrderWalksAscending) {
  const Keys mixed = MixedKeys(600);
  Keys descending;
  Keys ascending;
  for (int k = 300; k > 0; --k) descending.push_back(k * 7);
  for (int k = 1; k <= 300; ++k) ascending.push_back(k * 7);

  for (const Keys& order : {descending, ascending, mixed}) {
    Probe map;
    int largest = INT_MIN;
    for (int key : order) {
      map.Add(key);
      largest = std::max(largest, key);
      ASSERT_EQ(map.m_pTail->key, largest);
    }
    EXPECT_EQ(map.Walk(), SortedUnique(order));
    EXPECT_EQ(map.m_pTail->key, SortedUnique(order).back());
    map.ExpectConsistent();
  }
}

TEST(XMapTest, IndexGrowsBy128WithoutMovingNodes) {
  Probe map;
  std::vector<Node*> nodes;
  for (int k = 0; k < 128; ++k) nodes.push_back(map.Add(-k));
  EXPECT_EQ(map.m_nIndexSize, 128);
  map.Add(1000);  // the 129th key
  EXPECT_EQ(map.m_nIndexSize, 256);
  for (int k = 0; k < 128; ++k) EXPECT_EQ(map.Add(-k), nodes[k]);
  for (int k = 129; k < 257; ++k) map.Add(2000 + k);
  EXPECT_EQ(map.m_nIndexSize, 384);
  EXPECT_EQ(map.m_nCount, 257);
  map.ExpectConsistent();
}

TEST(XMapTest, KeysAtTheEndsOfTheRangeCompareSigned) {
  Probe map;
  for (int key : {0, INT_MAX, -1, INT_MIN, 1, INT_MAX - 1, INT_MIN + 1}) map.Add(key);
  EXPECT_EQ(map.Walk(), (Keys{INT_MIN, INT_MIN + 1, -1, 0, 1, INT_MAX - 1, INT_MAX}));
  EXPECT_EQ(map.FindIndexPos(INT_MIN, true), 0);
  EXPECT_EQ(map.FindIndexPos(INT_MAX, true), 6);
  map.ExpectConsistent();
}

TEST(XMapTest, FindIndexPosGivesTheKeysPlace) {
  for (int n = 0; n <= 40; ++n) {
    Probe map;
    for (int i = 0; i < n; ++i) map.Add(2 * i);
    for (int key = -1; key <= 2 * n; ++key) {
      const int smaller = (key + 1) / 2;  // keys 0, 2, ... below key
      const bool present = key >= 0 && key % 2 == 0 && key < 2 * n;
      EXPECT_EQ(map.FindIndexPos(key, false), smaller) << "n=" << n << " key=" << key;
      EXPECT_EQ(map.FindIndexPos(key, true), present ? key / 2 : -1) << "n=" << n << " key=" << key;
    }
  }
}

TEST(XMapTest, ListModeGivesTheSameResultsAsTheIndex) {
  Probe indexed;
  Probe listed;
  EXPECT_EQ(listed.DisableIndex(), 128);
  EXPECT_EQ(listed.DisableIndex(), 0);
  for (int key : MixedKeys(400)) {
    Node* a = indexed.Add(key);
    Node* b = listed.Add(key);
    ASSERT_EQ(a->key, b->key);
    a->value.Add(u"x");
    b->value.Add(u"x");
  }
  EXPECT_EQ(listed.Walk(), indexed.Walk());
  EXPECT_EQ(listed.m_nCount, indexed.m_nCount);
  for (Node *a = indexed.GetHead(), *b = listed.GetHead(); a != nullptr; a = a->pNext, b = b->pNext) {
    EXPECT_EQ(a->value.GetSize(), b->value.GetSize());
  }
  listed.ExpectConsistent();

  EXPECT_TRUE(listed.EnableIndex(16));  // built from the list
  EXPECT_EQ(listed.m_nIndexSize, listed.m_nCount);
  listed.ExpectConsistent();
  listed.Add(10000);
  listed.ExpectConsistent();
}

TEST(XMapTest, IndexThatCannotBeAllocatedAtConstructionComesWithTheFirstKey) {
  std::unique_ptr<Probe> map;
  {
    FailAllocation fail(1);  // the map itself, then its index
    map = std::make_unique<Probe>();
    EXPECT_TRUE(fail.Fired());
  }
  EXPECT_EQ(map->m_nGrowBy, 128);
  EXPECT_EQ(map->m_nIndexSize, 0);
  map->Add(5);
  map->Add(3);
  EXPECT_EQ(map->m_nIndexSize, 128);
  EXPECT_EQ(map->Walk(), (Keys{3, 5}));
  map->ExpectConsistent();
}

TEST(XMapTest, IndexThatCannotGrowFallsBackToListMode) {
  Probe map;
  const Keys keys = MixedKeys(2000);
  size_t i = 0;
  while (map.m_nCount < 128) map.Add(keys[i++]);
  {
    FailAllocation fail(1);  // the new node, then the larger index
    while (map.m_nCount == 128) map.Add(keys[i++]);
    EXPECT_TRUE(fail.Fired());
  }
  EXPECT_EQ(map.m_nGrowBy, 0);
  map.ExpectConsistent();
  while (i < keys.size()) map.Add(keys[i++]);
  EXPECT_EQ(map.Walk(), SortedUnique(keys));
  map.ExpectConsistent();
}

TEST(XMapTest, EnableIndexThatFailsOnAFilledMapLeavesListMode) {
  Probe map;
  map.DisableIndex();
  for (int key : {5, 1, 9}) map.Add(key);
  {
    FailAllocation fail(0);
    EXPECT_FALSE(map.EnableIndex(128));
  }
  EXPECT_EQ(map.m_nGrowBy, 0);
  map.Add(4);
  EXPECT_EQ(map.Walk(), (Keys{1, 4, 5, 9}));
  EXPECT_TRUE(map.RemoveKey(5));
  EXPECT_EQ(map.Walk(), (Keys{1, 4, 9}));
}

TEST(XMapTest, SortIndexOrdersAScrambledIndex) {
  Probe map;
  for (int key : MixedKeys(300)) map.Add(key);
  std::reverse(map.m_ppIndex, map.m_ppIndex + map.m_nCount);
  std::swap(map.m_ppIndex[3], map.m_ppIndex[map.m_nCount - 5]);
  map.SortIndex(0, map.m_nCount - 1);
  map.ExpectConsistent();
}

TEST(XMapTest, RemovalKeepsListAndIndexConsistent) {
  for (bool indexed : {true, false}) {
    SCOPED_TRACE(indexed ? "index" : "list");
    Probe map;
    if (!indexed) map.DisableIndex();
    EXPECT_FALSE(map.RemoveKey(1));
    for (int key = 0; key < 200; ++key) map.Add(key * 3);

    EXPECT_TRUE(map.RemoveKey(0));              // head
    EXPECT_TRUE(map.RemoveKeyRef(597));         // tail
    EXPECT_TRUE(map.RemoveNode(map.Add(300)));  // middle
    EXPECT_FALSE(map.RemoveKey(301));
    EXPECT_FALSE(map.RemoveKeyRef(300));
    EXPECT_EQ(map.m_nCount, 197);
    EXPECT_EQ(map.GetHead()->key, 3);
    EXPECT_EQ(map.m_pTail->key, 594);
    map.ExpectConsistent();

    ASSERT_EQ(map.Find(6), map.Add(6));
    EXPECT_EQ(map.Find(6)->key, 6);
    EXPECT_EQ(map.m_pLastFound->key, 6);
    map.Add(1000);  // any insertion forgets the last node found
    EXPECT_EQ(map.m_pLastFound, nullptr);
    EXPECT_TRUE(map.RemoveKey(1000));
    EXPECT_EQ(map.Find(6)->key, 6);
    EXPECT_TRUE(map.RemoveKey(6));
    EXPECT_EQ(map.m_pLastFound, nullptr);
    EXPECT_EQ(map.Find(6), nullptr);

    for (int key = 1; key < 200; ++key) map.RemoveKey(key * 3);
    EXPECT_EQ(map.m_nCount, 0);
    EXPECT_EQ(map.GetHead(), nullptr);
    EXPECT_EQ(map.m_pTail, nullptr);
    EXPECT_FALSE(map.RemoveNode(nullptr));
    map.Add(7);
    EXPECT_EQ(map.Walk(), (Keys{7}));
    map.ExpectConsistent();
  }
}

TEST(XMapTest, RemoveAllEmptiesAndKeepsTheIndexOn) {
  Probe map;
  for (int key : MixedKeys(300)) map.Add(key)->value.Add(u"n");
  map.RemoveAll();
  EXPECT_EQ(map.m_nCount, 0);
  EXPECT_EQ(map.GetHead(), nullptr);
  EXPECT_EQ(map.m_pTail, nullptr);
  EXPECT_EQ(map.m_nGrowBy, 128);
  EXPECT_EQ(map.m_nIndexSize, 128);
  map.Add(2);
  map.Add(1);
  EXPECT_EQ(map.Walk(), (Keys{1, 2}));
  map.ExpectConsistent();
}

TEST(XMapTest, FindOrInsertKeyAndZeroValue) {
  Probe map;
  Node* node = map.FindOrInsertKey(4);
  node->value.Add(u"kept");
  EXPECT_EQ(map.FindOrInsertKey(4), node);
  EXPECT_EQ(map.FindOrInsert(4, true), node);  // an existing value is not reset
  EXPECT_EQ(node->value.GetSize(), 1);
  EXPECT_EQ(map.FindOrInsert(2, true)->value.GetSize(), 0);
  EXPECT_EQ(map.Walk(), (Keys{2, 4}));
}

TEST(XMapTest, NodeThatCannotBeMadeLeavesTheMapUnchanged) {
  class NoNodes : public Probe {
   protected:
    Node* NewNode() override { return nullptr; }
  };
  NoNodes map;
  EXPECT_EQ(map.FindOrInsert(1, false), nullptr);
  EXPECT_EQ(map.m_nCount, 0);
  EXPECT_EQ(map.GetHead(), nullptr);

  Probe real;
  bool thrown = false;
  {
    FailAllocation fail(0);
    try {
      real.Add(1);
    } catch (const CMemoryException&) {
      thrown = true;
    }
  }
  EXPECT_TRUE(thrown);
  EXPECT_EQ(real.m_nCount, 0);
  real.ExpectConsistent();
}

}  // namespace
