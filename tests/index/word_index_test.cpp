#include "index/word_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/exceptions.h"
#include "platform/lower_case.h"
#include "tests/support/alloc_failure.h"

namespace {

using Names = std::vector<std::u16string>;

class WordIndexTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Free(index);
    SetUserLowerCase(false);
    SetAnsiCodePage(1252);
  }

  // Words of the index in walk order.
  Names Words() const {
    Names words;
    for (auto* e = index.FirstEntry(); e; e = index.NextEntry(e)) words.push_back(e->key);
    return words;
  }

  // Names of a word's note set in walk order.
  Names NotesOf(const std::u16string& word) const {
    const auto* entry = index.FindEntry(word);
    if (entry == nullptr) ADD_FAILURE() << "no such word";
    Names names;
    if (entry == nullptr) return names;
    for (auto* n = entry->value->FirstEntry(); n; n = entry->value->NextEntry(n)) {
      EXPECT_EQ(n->value, 0);
      names.push_back(n->key);
    }
    return names;
  }

  std::u16string ListOf(const CMapStringToString& lists, const std::u16string& word) const {
    const auto* entry = lists.FindEntry(word);
    return entry == nullptr ? u"<none>" : entry->value;
  }

  WordIndex index;
};

TEST_F(WordIndexTest, AddWordLowersAndKeepsEachNoteOnce) {
  AddWord("Milk", u"a.txt", index);
  AddWord("MILK", u"a.txt", index);
  AddWord("milk", u"b.txt", index);
  AddWord("milk", u"b.txt", index);
  EXPECT_EQ(Words(), (Names{u"milk"}));
  EXPECT_EQ(NotesOf(u"milk"), (Names{u"a.txt", u"b.txt"}));
}

TEST_F(WordIndexTest, CyrillicIsLoweredOnlyInUserMode) {
  SetAnsiCodePage(1251);
  AddWord("\xcc\xce\xcb\xce\xca\xce", u"a.txt", index);  // МОЛОКО
  EXPECT_NE(index.FindEntry(u"МОЛОКО"), nullptr);
  EXPECT_EQ(index.FindEntry(u"молоко"), nullptr);

  SetUserLowerCase(true);
  AddWord("\xcc\xee\xeb\xee\xea\xee", u"b.txt", index);  // Молоко
  EXPECT_EQ(NotesOf(u"молоко"), (Names{u"b.txt"}));
  EXPECT_EQ(NotesOf(u"МОЛОКО"), (Names{u"a.txt"}));
}

TEST_F(WordIndexTest, ExpandSplitsListsAndKeepsWordsAsStored) {
  CMapStringToString lists;
  lists.SetValue(u"tea", u"a.txt::b.txt:");
  lists.SetValue(u"Milk", u":c.txt");
  lists.SetValue(u"none", u"");
  lists.SetValue(u"colons", u":::");
  Expand(lists, index);
  EXPECT_EQ(index.Count(), 4);
  EXPECT_EQ(NotesOf(u"tea"), (Names{u"a.txt", u"b.txt"}));
  EXPECT_EQ(NotesOf(u"Milk"), (Names{u"c.txt"}));
  EXPECT_TRUE(NotesOf(u"none").empty());
  EXPECT_TRUE(NotesOf(u"colons").empty());

  // Add word makes its own lower-case key beside the stored spelling.
  AddWord("Milk", u"d.txt", index);
  EXPECT_EQ(NotesOf(u"milk"), (Names{u"d.txt"}));
  EXPECT_EQ(NotesOf(u"Milk"), (Names{u"c.txt"}));
}

TEST_F(WordIndexTest, FlattenJoinsInWalkOrderAndDropsEmptySets) {
  for (const char16_t* note : {u"a", u"b", u"r"}) AddWord("tea", note, index);
  AddWord("milk", u"a", index);
  AddWord("gone", u"b", index);
  RemoveNote(u"b", index);
  // The emptied word stays in the index...
  EXPECT_EQ(index.Count(), 3);
  EXPECT_TRUE(NotesOf(u"gone").empty());

  CMapStringToString lists;
  lists.SetValue(u"stale", u"x");
  Flatten(index, lists);
  // ...but not in the lists; "stale" was cleared first.
  EXPECT_EQ(lists.Count(), 2);
  EXPECT_EQ(ListOf(lists, u"tea"), u"r:a");  // a and r share bucket 12, r inserted last
  EXPECT_EQ(ListOf(lists, u"milk"), u"a");
  EXPECT_EQ(ListOf(lists, u"gone"), u"<none>");
}

TEST_F(WordIndexTest, ExpandThenFlattenGivesTheSamePairs) {
  CMapStringToString lists;
  lists.SetValue(u"tea", u"b:a:r");
  lists.SetValue(u"milk", u"x.txt");
  Expand(lists, index);
  CMapStringToString again;
  Flatten(index, again);
  EXPECT_EQ(again.Count(), 2);
  EXPECT_EQ(ListOf(again, u"tea"), u"r:a:b");  // the set's own walk order
  EXPECT_EQ(ListOf(again, u"milk"), u"x.txt");
}

TEST_F(WordIndexTest, FreeIsSafeTwice) {
  AddWord("tea", u"a", index);
  Free(index);
  Free(index);
  EXPECT_EQ(index.FirstEntry()->value, nullptr);
}

// Every allocation of an expansion may fail; what was made must still be
// reachable for Free, so nothing leaks (the sanitizer build checks that).
TEST_F(WordIndexTest, FailedExpandLeavesOnlyFreeableSets) {
  CMapStringToString lists;
  for (const char16_t* word : {u"a", u"b", u"c", u"d", u"e", u"f", u"g", u"h", u"i", u"j", u"k",
                               u"l"}) {
    lists.SetValue(word, u"one.txt:two.txt:a-rather-long-note-name-that-needs-the-heap.txt");
  }
  bool completed = false;
  for (int after = 0; !completed; ++after) {
    WordIndex words;
    {
      FailAllocation fail(after);
      try {
        Expand(lists, words);
      } catch (const CMemoryException&) {
      }
      completed = !fail.Fired();
    }
    if (completed) {
      EXPECT_EQ(words.Count(), 12);
    }
    Free(words);
  }
}

}  // namespace
