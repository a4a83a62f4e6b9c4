#include "index/map.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/alloc_failure.h"

namespace {

using Keys = std::vector<std::u16string>;

template <class MAP>
Keys Walk(const MAP& map) {
  Keys keys;
  for (auto* e = map.FirstEntry(); e != nullptr; e = map.NextEntry(e)) keys.push_back(e->key);
  return keys;
}

std::u16string NumberedKey(int i) {
  const std::string digits = std::to_string(i);
  return u"note-" + std::u16string(digits.begin(), digits.end()) + u".txt";
}

// A key of more than the short-string buffer, so copying it allocates.
const std::u16string kLongKey(40, u'x');

TEST(MapTest, WalksBucketsUpwardAndEachChainNewestFirst) {
  CMap<int> map;
  map[u"a"] = 1;  // bucket 12
  map[u"b"] = 2;  // bucket 13
  map[u"r"] = 3;  // bucket 12, after a
  EXPECT_EQ(Walk(map), (Keys{u"r", u"a", u"b"}));

  map[u"ab"] = 4;  // 97 * 33 + 98 = 3299, bucket 1
  map[u""] = 5;    // hash 0, bucket 0
  EXPECT_EQ(Walk(map), (Keys{u"", u"ab", u"r", u"a", u"b"}));
  EXPECT_EQ(map.Count(), 5);
}

TEST(MapTest, HashWrapsAt32Bits) {
  CMapStringToString map;
  map[u"9"];  // 57, bucket 6
  map[u";"];  // 59, bucket 8
  map[u"tea.txt"];
  EXPECT_EQ(map.FindEntry(u"tea.txt")->nHashValue, 3555921576u);
  EXPECT_EQ(Walk(map), (Keys{u"9", u"tea.txt", u";"}));
}

TEST(MapTest, NewEntriesTakeTheDefaultValue) {
  CMap<int> ints;
  CMap<CMap<int>*> sets;
  CMapStringToString strings;
  EXPECT_EQ(ints[u"k"], 0);
  EXPECT_EQ(sets[u"k"], nullptr);
  EXPECT_EQ(strings[u"k"], u"");
}

TEST(MapTest, FindEntryDoesNotInsertAndKeysAreCaseSensitive) {
  CMapStringToString map;
  EXPECT_EQ(map.FindEntry(u"k"), nullptr);
  map.SetValue(u"Note", u"1");
  map.SetValue(u"note", u"2");
  EXPECT_EQ(map.Count(), 2);
  EXPECT_EQ(map.FindEntry(u"Note")->value, u"1");
  EXPECT_EQ(map.FindEntry(u"note")->value, u"2");
  EXPECT_EQ(map.FindEntry(u"NOTE"), nullptr);
  const CMapStringToString& view = map;
  EXPECT_EQ(view.FindEntry(u"note")->value, u"2");
}

TEST(MapTest, ReplacingAValueKeepsCountAndOrder) {
  CMapStringToString map;
  map.SetValue(u"a", u"1");
  map.SetValue(u"r", u"2");
  map.SetValue(u"b", u"3");
  CMapStringToString::CPair* a = map.FindEntry(u"a");
  map.SetValue(u"a", u"changed");
  EXPECT_EQ(map.FindEntry(u"a"), a);
  EXPECT_EQ(a->value, u"changed");
  EXPECT_EQ(map.Count(), 3);
  EXPECT_EQ(Walk(map), (Keys{u"r", u"a", u"b"}));

  // Changing a value in place, as word lists and scores are built.
  map[u"r"] += u"x";
  map.FindEntry(u"b")->value += u"y";
  EXPECT_EQ(map.FindEntry(u"r")->value, u"2x");
  EXPECT_EQ(map[u"b"], u"3y");
}

TEST(MapTest, RemovalKeepsTheOthersInOrderAndReusesTheEntry) {
  CMap<int> map;
  for (const char16_t* key : {u"a", u"b", u"r", u"ab", u"tea.txt"}) map[key] = 1;
  CMap<int>::CPair* r = map.FindEntry(u"r");

  EXPECT_TRUE(map.RemoveEntry(u"r"));  // head of bucket 12
  EXPECT_EQ(Walk(map), (Keys{u"ab", u"tea.txt", u"a", u"b"}));
  EXPECT_FALSE(map.RemoveEntry(u"r"));
  EXPECT_EQ(map.Count(), 4);

  map[u"q"] = 2;  // the removed entry is the next one handed out
  EXPECT_EQ(map.FindEntry(u"q"), r);
  EXPECT_TRUE(map.RemoveEntry(u"a"));  // last of its chain
  EXPECT_EQ(Walk(map), (Keys{u"ab", u"tea.txt", u"q", u"b"}));
}

TEST(MapTest, RemovingTheOnlyEntryEmptiesTheMapForReuse) {
  CMap<int> map;
  map[u"only"] = 7;
  EXPECT_TRUE(map.RemoveEntry(u"only"));
  EXPECT_EQ(map.Count(), 0);
  EXPECT_EQ(map.FirstEntry(), nullptr);
  EXPECT_EQ(map.FindEntry(u"only"), nullptr);

  map[u"b"] = 1;
  map[u"a"] = 2;
  EXPECT_EQ(Walk(map), (Keys{u"a", u"b"}));
  EXPECT_EQ(map[u"a"], 2);
}

TEST(MapTest, RemovingAnAbsentKeyChangesNothing) {
  CMap<int> never;
  EXPECT_FALSE(never.RemoveEntry(u"a"));
  EXPECT_EQ(never.Count(), 0);

  CMap<int> map;
  map[u"a"] = 1;
  map[u"r"] = 2;
  EXPECT_FALSE(map.RemoveEntry(u"b"));   // empty bucket
  EXPECT_FALSE(map.RemoveEntry(u"A"));   // case differs
  EXPECT_EQ(Walk(map), (Keys{u"r", u"a"}));
}

TEST(MapTest, ClearEmptiesAndTheMapWorksAgain) {
  CMap<int> map;
  for (int i = 0; i < 25; ++i) map[std::u16string(1, char16_t(u'a' + i))] = i;
  map.Clear();
  EXPECT_EQ(map.Count(), 0);
  EXPECT_EQ(map.FirstEntry(), nullptr);
  EXPECT_FALSE(map.RemoveEntry(u"a"));
  map[u"a"] = 3;
  EXPECT_EQ(Walk(map), (Keys{u"a"}));
}

TEST(MapTest, CopyingInWalkOrderReversesEachChain) {
  CMap<int> a;
  for (const char16_t* key : {u"a", u"b", u"r", u"ab", u"ba", u"", u"tea.txt"}) a[key] = 1;
  const Keys walkA = Walk(a);
  EXPECT_EQ(walkA, (Keys{u"", u"ab", u"tea.txt", u"r", u"a", u"b", u"ba"}));

  CMap<int> b;
  for (const std::u16string& key : walkA) b[key] = 1;
  EXPECT_EQ(Walk(b), (Keys{u"", u"ab", u"tea.txt", u"a", u"r", u"b", u"ba"}));
}

TEST(MapTest, ManyEntriesAreAllFoundAndWalkedOnceInBucketOrder) {
  CMap<int> map;
  for (int i = 0; i < 1000; ++i) map[NumberedKey(i)] = i;
  EXPECT_EQ(map.Count(), 1000);

  int walked = 0;
  std::uint32_t lastBucket = 0;
  for (auto* e = map.FirstEntry(); e != nullptr; e = map.NextEntry(e), ++walked) {
    EXPECT_GE(e->nHashValue % 17, lastBucket);
    lastBucket = e->nHashValue % 17;
    EXPECT_EQ(map.FindEntry(e->key), e);
  }
  EXPECT_EQ(walked, 1000);

  for (int i = 0; i < 1000; i += 2) {
    EXPECT_TRUE(map.RemoveEntry(NumberedKey(i)));
  }
  EXPECT_EQ(map.Count(), 500);
  EXPECT_EQ(Walk(map).size(), 500u);
  EXPECT_EQ(map[NumberedKey(999)], 999);
}

TEST(MapTest, StringKeysAreCutAtTheFirstNul) {
  CMap<int> map;
  const std::u16string withNul(u"ab\0cd", 5);
  map[withNul] = 4;
  EXPECT_EQ(Walk(map), (Keys{u"ab"}));
  EXPECT_EQ(map.FindEntry(u"ab")->value, 4);
  map.SetValue(std::u16string(u"ab"), 5);
  EXPECT_EQ(map.FindEntry(withNul)->value, 5);
  EXPECT_TRUE(map.RemoveEntry(withNul));
  EXPECT_EQ(map.Count(), 0);
}

// Present and absent keys, over more than one group, in an order unlike the
// walk; keys with a NUL are cut there, as FindEntry cuts them.
TEST(MapTest, FindEntriesFindsWhatFindEntryFinds) {
  CMapStringToString map;
  for (int i = 0; i < 300; i += 2) map[NumberedKey(i)] = NumberedKey(i + 1);
  map[kLongKey] = u"long";
  ASSERT_TRUE(map.RemoveEntry(NumberedKey(100)));
  std::vector<std::u16string> keys;
  for (int i = 299; i >= 0; --i) keys.push_back(NumberedKey(i));
  keys.push_back(kLongKey);
  keys.push_back(std::u16string(u"note-4.txt\0tail", 15));
  keys.push_back(u"");
  const std::vector<std::u16string_view> views(keys.begin(), keys.end());
  std::vector<const CMapStringToString::CPair*> found(views.size(), nullptr);
  map.FindEntries(views, found.data());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(found[i], map.FindEntry(keys[i])) << i;
  }
  EXPECT_EQ(found[299]->value, u"note-1.txt");
  EXPECT_EQ(found[199], nullptr);  // note-100.txt, removed
  EXPECT_EQ(found[301]->key, u"note-4.txt");

  // An empty map finds nothing, and says so over what the slot held.
  CMap<int> other;
  other[keys[0]] = 1;
  const CMap<int>::CPair* none = other.FindEntry(keys[0]);
  const CMap<int> empty;
  empty.FindEntries(std::span(views.data(), 1), &none);
  EXPECT_EQ(none, nullptr);
}

TEST(MapTest, NullKeyIsRejectedBeforeAnythingChanges) {
  CMapStringToString map;
  map[u"a"] = u"1";
  const char16_t* null = nullptr;
  EXPECT_THROW(map.FindEntry(null), CInvalidArgException);
  EXPECT_THROW(map[null], CInvalidArgException);
  EXPECT_THROW(map.SetValue(null, u"x"), CInvalidArgException);
  EXPECT_THROW(map.RemoveEntry(null), CInvalidArgException);
  EXPECT_EQ(Walk(map), (Keys{u"a"}));
}

TEST(MapTest, PointerValuesAreNotOwned) {
  CMap<int> set;
  {
    CMap<CMap<int>*> index;
    index[u"word"] = &set;
    EXPECT_TRUE(index.RemoveEntry(u"word"));
    index[u"other"] = &set;
  }
  set[u"note.txt"] = 0;  // still alive
  EXPECT_EQ(set.Count(), 1);
}

TEST(MapTest, ExhaustedMemoryThrowsAndLeavesTheMapAsItWas) {
  CMapStringToString map;
  bool thrown = false;
  {
    FailAllocation fail(0);  // the bucket array of the first insertion
    try {
      map[u"a"];
    } catch (const CMemoryException&) {
      thrown = true;
    }
  }
  EXPECT_TRUE(thrown);
  EXPECT_EQ(map.Count(), 0);
  EXPECT_EQ(map.FirstEntry(), nullptr);

  map[u"a"] = u"1";
  thrown = false;
  {
    FailAllocation fail(0);  // the key copy; a block of free entries is there
    try {
      map[kLongKey];
    } catch (const CMemoryException&) {
      thrown = true;
    }
  }
  EXPECT_TRUE(thrown);
  EXPECT_EQ(Walk(map), (Keys{u"a"}));
  map[kLongKey] = u"2";
  EXPECT_EQ(Walk(map), (Keys{u"a", kLongKey}));

  thrown = false;
  {
    FailAllocation fail(0);  // the copy of a long value
    try {
      map.SetValue(u"a", kLongKey);
    } catch (const CMemoryException&) {
      thrown = true;
    }
  }
  EXPECT_TRUE(thrown);
  EXPECT_EQ(map.FindEntry(u"a")->value, u"1");

  thrown = false;
  {
    FailAllocation fail(0);  // the copy of a long value for a new short key
    try {
      map.SetValue(u"b", kLongKey);
    } catch (const CMemoryException&) {
      thrown = true;
    }
  }
  EXPECT_TRUE(thrown);
  EXPECT_EQ(map.FindEntry(u"b"), nullptr);
  EXPECT_EQ(Walk(map), (Keys{u"a", kLongKey}));
}

TEST(MapTest, ExhaustedMemoryForANewBlockThrows) {
  CMap<int> map;
  for (int i = 0; i < 10; ++i) map[std::u16string(1, char16_t(u'a' + i))] = i;  // fills one block
  bool thrown = false;
  {
    FailAllocation fail(0);
    try {
      map[u"k"];
    } catch (const CMemoryException&) {
      thrown = true;
    }
  }
  EXPECT_TRUE(thrown);
  EXPECT_EQ(map.Count(), 10);
  EXPECT_EQ(map.FindEntry(u"k"), nullptr);
  map[u"k"] = 10;
  EXPECT_EQ(map.Count(), 11);
}

}  // namespace
