#include "index/word_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "platform/text/code_page.h"
#include "platform/framework/exceptions.h"
#include "platform/text/lower_case.h"
#include "tests/support/alloc_failure.h"

namespace {

using Names = std::vector<std::u16string>;

// Every word's notes in the order added (or loaded), by word id.
std::vector<std::vector<WordIndex::Id>> SetsAdded(const WordIndex& index) {
  std::vector<std::vector<WordIndex::Id>> sets;
  for (WordIndex::Id word = 0; word < index.WordCount(); ++word) {
    const std::span<const WordIndex::Id> notes = index.NotesAdded(word);
    sets.emplace_back(notes.begin(), notes.end());
  }
  return sets;
}

class WordIndexTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetUserLowerCase(false);
    SetAnsiCodePage(1252);
  }

  // Words of the index in walk order.
  Names Words() const {
    Names words;
    for (const WordIndex::Id word : index.Walk().words) words.emplace_back(index.Word(word));
    return words;
  }

  // Names of a word's note set in walk order.
  Names NotesOf(const std::u16string& word) const {
    const WordIndex::Id id = index.FindWord(word);
    if (id == WordIndex::kNone) ADD_FAILURE() << "no such word";
    Names names;
    if (id == WordIndex::kNone) return names;
    const WordIndex::WalkOrder& walk = index.Walk();
    for (const WordIndex::Id note : walk.NotesAt(walk.position[id])) names.emplace_back(index.NoteName(note));
    return names;
  }

  Names SavedWords() const {
    Names words;
    for (const WordIndex::Id word : index.SaveOrder()) words.emplace_back(index.Word(word));
    return words;
  }

  void Remove(std::initializer_list<const char16_t*> names) {
    std::vector<bool> gone(index.NoteCount());
    for (const char16_t* name : names) gone[index.FindNote(name)] = true;
    index.RemoveNotes(gone);
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
  EXPECT_NE(index.FindWord(u"МОЛОКО"), WordIndex::kNone);
  EXPECT_EQ(index.FindWord(u"молоко"), WordIndex::kNone);

  SetUserLowerCase(true);
  AddWord("\xcc\xee\xeb\xee\xea\xee", u"b.txt", index);  // Молоко
  EXPECT_EQ(NotesOf(u"молоко"), (Names{u"b.txt"}));
  EXPECT_EQ(NotesOf(u"МОЛОКО"), (Names{u"a.txt"}));
}

// Both levels walk as a chained map of 17 buckets would: buckets upward,
// the newest first within a bucket ("a" and "r" share bucket 12, "b" is in
// 13, "ab" in 1).
TEST_F(WordIndexTest, WalksBucketsUpwardNewestFirstAtBothLevels) {
  for (const char16_t* note : {u"a", u"b", u"r", u"ab"}) AddWord("tea", note, index);
  AddWord("a", u"x", index);
  AddWord("r", u"x", index);
  AddWord("b", u"x", index);
  EXPECT_EQ(Words(), (Names{u"tea", u"r", u"a", u"b"}));
  EXPECT_EQ(NotesOf(u"tea"), (Names{u"ab", u"r", u"a", u"b"}));

  // Adding a note again moves nothing, even after other notes came.
  AddWord("tea", u"a", index);
  EXPECT_EQ(NotesOf(u"tea"), (Names{u"ab", u"r", u"a", u"b"}));
}

TEST_F(WordIndexTest, RemovedNotesLeaveTheOthersInOrderAndTheirWordsBehind) {
  for (const char16_t* note : {u"a", u"b", u"r"}) AddWord("tea", note, index);
  AddWord("milk", u"a", index);
  AddWord("gone", u"b", index);
  Remove({u"b"});
  EXPECT_EQ(NotesOf(u"tea"), (Names{u"r", u"a"}));
  EXPECT_TRUE(NotesOf(u"gone").empty());
  EXPECT_EQ(index.WordCount(), 3u);
  // Saved: oldest word first within a bucket, emptied words left out.
  EXPECT_EQ(SavedWords(), (Names{u"tea", u"milk"}));

  // A note that comes back under the same name joins at the head again.
  AddWord("tea", u"b", index);
  EXPECT_EQ(NotesOf(u"tea"), (Names{u"r", u"a", u"b"}));
  AddWord("tea", u"q", index);  // bucket 11
  EXPECT_EQ(NotesOf(u"tea"), (Names{u"q", u"r", u"a", u"b"}));
}

TEST_F(WordIndexTest, AChangedNoteAddsOnlyItsNewWords) {
  const WordIndex::Id tea = index.InsertWord(u"tea");
  const WordIndex::Id milk = index.InsertWord(u"milk");
  const WordIndex::Id a = index.InternNote(u"a");
  const WordIndex::Id b = index.InternNote(u"b");
  const WordIndex::Id words1[] = {tea};
  index.AddNote(a, words1);
  index.AddNote(b, words1);
  const WordIndex::Id words2[] = {milk, tea, milk};
  index.AddNote(a, words2);
  EXPECT_EQ(NotesOf(u"tea"), (Names{u"a", u"b"}));
  EXPECT_EQ(NotesOf(u"milk"), (Names{u"a"}));
  index.AddNote(a, words2);
  EXPECT_EQ(index.NotesAdded(tea).size(), 2u);
  EXPECT_EQ(index.NotesAdded(milk).size(), 1u);
}

// Sets of every size, small ones and grown ones, added to or loaded,
// keep their notes in order while thousands of words come after them and
// the index itself moves, and grow, shrink and take notes again alike.
TEST_F(WordIndexTest, SetsOfEverySizeKeepTheirNotesWhileTheIndexGrowsAndMoves) {
  using Ids = std::vector<WordIndex::Id>;
  std::vector<WordIndex::Id> notes;
  for (const char16_t* name : {u"a", u"b", u"c", u"d", u"e", u"f"}) notes.push_back(index.InternNote(name));
  std::vector<Ids> expected;
  for (std::size_t size = 0; size <= notes.size(); ++size) {
    const WordIndex::Id word = index.InsertWord(std::u16string(size + 1, u'w'));
    expected.emplace_back(notes.begin(), notes.begin() + static_cast<std::ptrdiff_t>(size));
    for (std::size_t i = 0; i < size; ++i) index.AddNote(notes[i], std::span(&word, 1));
  }
  const WordIndex::Id loaded[] = {index.InsertWord(u"one"), index.InsertWord(u"two"), index.InsertWord(u"three")};
  expected.push_back({notes[5]});
  expected.push_back({notes[4], notes[3]});
  expected.push_back({notes[2], notes[0], notes[1]});
  for (int i = 0; i < 3; ++i) index.SetLoadedNotes(loaded[i], Ids(expected[7 + static_cast<std::size_t>(i)]));
  for (int i = 0; i < 5000; ++i) {
    // Built by append, as GCC 12 at -O3 warns wrongly about u"x" + a string.
    index.InsertWord(std::u16string(u"x")
                         .append(static_cast<std::size_t>(i % 7 + 1), static_cast<char16_t>(u'a' + i / 7 % 26))
                         .append(1, static_cast<char16_t>(0x400 + i / 182)));
  }
  WordIndex moved(std::move(index));
  for (std::size_t word = 0; word < expected.size(); ++word) {
    const std::span<const WordIndex::Id> got = moved.NotesAdded(static_cast<WordIndex::Id>(word));
    EXPECT_EQ(Ids(got.begin(), got.end()), expected[word]) << word;
  }
  // Loaded sets take notes after their own; removed notes leave the rest.
  for (const WordIndex::Id word : loaded) moved.AddNote(notes[5], std::span(&word, 1));
  std::vector<bool> gone(notes.size());
  gone[notes[0]] = gone[notes[4]] = true;
  moved.RemoveNotes(gone);
  moved.AddNote(notes[0], std::span(&loaded[0], 1));
  const Ids after[] = {{notes[5], notes[0]}, {notes[3], notes[5]}, {notes[2], notes[1], notes[5]}};
  for (int i = 0; i < 3; ++i) {
    const std::span<const WordIndex::Id> got = moved.NotesAdded(loaded[i]);
    EXPECT_EQ(Ids(got.begin(), got.end()), after[i]) << i;
  }
  const std::span<const WordIndex::Id> six = moved.NotesAdded(6);
  EXPECT_EQ(Ids(six.begin(), six.end()), (Ids{notes[1], notes[2], notes[3], notes[5]}));
}

TEST_F(WordIndexTest, LoadedWordsKeepTheirPlaceAndSets) {
  const WordIndex::Id tea = index.InsertWord(u"Tea");
  const WordIndex::Id ab = index.InsertWord(u"ab");
  index.SetLoadedNotes(tea, {index.InternNote(u"b"), index.InternNote(u"a")});
  index.SetLoadedNotes(ab, {});
  index.SetLoadedNotes(tea, {index.InternNote(u"r")});  // a later list replaces
  index.ReverseWordInsertions();
  EXPECT_EQ(NotesOf(u"Tea"), (Names{u"r"}));
  EXPECT_TRUE(NotesOf(u"ab").empty());
  AddWord("Tea", u"c", index);  // a lower-case key of its own
  EXPECT_EQ(NotesOf(u"tea"), (Names{u"c"}));
}

// Notes of loaded sets, replaced sets among them, are known to be in sets
// when they are added again: none is added to a set twice.
TEST_F(WordIndexTest, NotesOfLoadedSetsAreAddedAgainOnlyWhereMissing) {
  const WordIndex::Id tea = index.InsertWord(u"tea");
  const WordIndex::Id milk = index.InsertWord(u"milk");
  const WordIndex::Id a = index.InternNote(u"a");
  const WordIndex::Id b = index.InternNote(u"b");
  index.SetLoadedNotes(tea, {a, b});
  index.SetLoadedNotes(milk, {b});
  index.SetLoadedNotes(tea, {b});  // a is in no set now
  const WordIndex::Id both[] = {tea, milk, tea};
  index.AddNote(b, both);
  index.AddNote(a, both);
  EXPECT_EQ(index.NotesAdded(tea).size(), 2u);
  EXPECT_EQ(index.NotesAdded(milk).size(), 2u);
  EXPECT_EQ(NotesOf(u"tea"), (Names{u"a", u"b"}));
  index.SetLoadedNotes(milk, {a});
  index.AddNote(a, both);
  index.AddNote(b, both);
  EXPECT_EQ(NotesOf(u"milk"), (Names{u"a", u"b"}));
}

// Sets loaded in walk order walk, save, take notes and lose notes as the
// same sets loaded in the order added do, whether each has its own array or
// all lie in one block the index keeps (where a set replaced leaves its ids
// behind); a set not listed in runs of ascending buckets is not put into
// walk order.
TEST_F(WordIndexTest, SetsLoadedInWalkOrderBehaveAsSetsLoadedInTheOrderAdded) {
  WordIndex plain;
  WordIndex ordered;
  WordIndex kept;  // as ordered, its sets in one block
  std::vector<WordIndex::Id> block;
  std::vector<std::size_t> blockEnd;  // per set loaded into kept
  std::vector<WordIndex::Id> blockWord;
  std::vector<char> blockWalkOrdered;
  for (int n = 0; n < 40; ++n) {
    // Built by append: GCC 12 at -O3 warns wrongly (-Wrestrict) about
    // u"literal" + std::u16string.
    const std::u16string name = std::u16string(u"n")
                                    .append(1, static_cast<char16_t>(u'a' + n % 26))
                                    .append(static_cast<std::size_t>(n / 26 + 1), u'x');
    plain.InternNote(name);
    ordered.InternNote(name);
    kept.InternNote(name);
  }
  for (int w = 0; w < 30; ++w) {
    const std::u16string word = std::u16string(u"w").append(static_cast<std::size_t>(w + 1), u'q');
    const WordIndex::Id id = plain.InsertWord(word);
    ASSERT_EQ(ordered.InsertWord(word), id);
    ASSERT_EQ(kept.InsertWord(word), id);
    std::vector<WordIndex::Id> notes;
    for (WordIndex::Id n = 0; n < 40; ++n) {
      if ((n * 7 + static_cast<WordIndex::Id>(w)) % 3 != 0) notes.push_back((n * 13 + static_cast<WordIndex::Id>(w)) % 40);
    }
    // As saved: buckets ascending; every fifth set not, half of those only
    // at their end, after runs that are put into walk order as they are seen.
    const bool saved = w % 5 != 0;
    if (saved || w % 10 == 5) {
      std::stable_sort(notes.begin(), notes.end(),
                       [&](WordIndex::Id a, WordIndex::Id b) { return plain.NoteBucket(a) < plain.NoteBucket(b); });
    }
    if (w % 10 == 5) std::rotate(notes.begin(), notes.begin() + 1, notes.end());
    std::vector<WordIndex::Id> copy = notes;
    const bool inWalkOrder = ordered.ToWalkOrder(copy);
    EXPECT_EQ(inWalkOrder, saved) << w;
    EXPECT_EQ(copy == notes, !inWalkOrder || notes.size() < 2) << w;
    if (w % 7 == 3) {  // a list read earlier for the same word, replaced below
      block.insert(block.end(), {0, 1, 2});
      blockEnd.push_back(block.size());
      blockWord.push_back(id);
      blockWalkOrdered.push_back(false);
    }
    block.insert(block.end(), copy.begin(), copy.end());
    blockEnd.push_back(block.size());
    blockWord.push_back(id);
    blockWalkOrdered.push_back(inWalkOrder);
    plain.SetLoadedNotes(id, std::move(notes));
    ordered.SetLoadedNotes(id, std::move(copy), inWalkOrder);
  }
  auto keptBlock = std::make_unique<WordIndex::Id[]>(block.size());
  std::copy(block.begin(), block.end(), keptBlock.get());
  WordIndex::Id* const keptIds = keptBlock.get();
  kept.KeepLoaded(std::move(keptBlock));
  for (std::size_t i = 0, begin = 0; i < blockEnd.size(); begin = blockEnd[i++]) {
    kept.SetLoadedNotesInPlace(blockWord[i], std::span(keptIds + begin, blockEnd[i] - begin), blockWalkOrdered[i] != 0);
  }
  plain.ReverseWordInsertions();
  ordered.ReverseWordInsertions();
  kept.ReverseWordInsertions();
  const auto walkOf = [](const WordIndex& index) {
    std::vector<Names> sets;
    const WordIndex::WalkOrder& walk = index.Walk();
    for (std::size_t at = 0; at < walk.words.size(); ++at) {
      Names& names = sets.emplace_back(1, std::u16string(index.Word(walk.words[at])));
      for (const WordIndex::Id note : walk.NotesAt(at)) names.emplace_back(index.NoteName(note));
    }
    return sets;
  };
  EXPECT_EQ(walkOf(ordered), walkOf(plain));
  EXPECT_EQ(walkOf(kept), walkOf(plain));
  EXPECT_EQ(SetsAdded(kept), SetsAdded(ordered));
  EXPECT_EQ(ordered.SaveOrder(), plain.SaveOrder());
  EXPECT_EQ(kept.SaveOrder(), plain.SaveOrder());

  for (WordIndex* index : {&plain, &ordered, &kept}) {
    const WordIndex::Id words[] = {1, 2, 5, 7, 11, 2};
    index->AddNote(5, words);  // in some of these sets already
    index->AddNote(index->InternNote(u"new"), words);
    std::vector<bool> gone(40);
    gone[3] = gone[8] = gone[21] = true;
    index->RemoveNotes(gone);
    const WordIndex::Id more[] = {0, 3, 5, 7};
    index->AddNote(8, more);  // back after it went
  }
  EXPECT_EQ(walkOf(ordered), walkOf(plain));
  EXPECT_EQ(walkOf(kept), walkOf(plain));
  EXPECT_EQ(SetsAdded(kept), SetsAdded(ordered));
  EXPECT_EQ(kept.SaveOrder(), plain.SaveOrder());
  for (WordIndex::Id word = 0; word < plain.WordCount(); ++word) {
    EXPECT_EQ(ordered.NotesAdded(word).size(), plain.NotesAdded(word).size()) << word;
  }
}

// Notes added again after a load, named beforehand or not (rightly or
// wrongly), end in the same sets as without any naming: the words they are
// already in are found either way, for notes named, notes not named, notes
// gone and back, and notes new since.
TEST_F(WordIndexTest, NotesExpectedBackOrNotAreAddedAgainAlike) {
  WordIndex plain;
  WordIndex told;
  for (WordIndex* index : {&plain, &told}) {
    for (int n = 0; n < 30; ++n) index->InternNote(std::u16string(u"note").append(static_cast<std::size_t>(n + 1), u'n'));
    for (int w = 0; w < 20; ++w) {
      const WordIndex::Id word = index->InsertWord(std::u16string(u"w").append(static_cast<std::size_t>(w + 1), u'q'));
      std::vector<WordIndex::Id> notes;
      for (WordIndex::Id n = 0; n < 30; ++n) {
        if ((n + static_cast<WordIndex::Id>(w)) % 3 != 0) notes.push_back(n);
      }
      index->SetLoadedNotes(word, std::move(notes));
    }
  }
  const WordIndex::Id named[] = {2, 5, 9, 29};  // 29 is never added again
  told.ExpectAddedAgain(named);
  for (WordIndex* index : {&plain, &told}) {
    const WordIndex::Id some[] = {0, 1, 2, 19, 2};
    const WordIndex::Id others[] = {3, 4, 5, 6, 7, 8};
    index->AddNote(5, some);  // named: only the named notes' words are listed
    index->AddNote(2, others);
    std::vector<bool> gone(30);
    gone[9] = true;
    index->RemoveNotes(gone);
    index->AddNote(9, some);  // named, gone and back
    const WordIndex::Id fresh = index->InternNote(u"fresh");
    index->AddNote(fresh, some);
    index->AddNote(fresh, others);
  }
  EXPECT_EQ(SetsAdded(told), SetsAdded(plain));
  for (WordIndex* index : {&plain, &told}) {
    const WordIndex::Id some[] = {0, 3, 10, 11};
    index->AddNote(12, some);  // not named: every note's words are listed then
    index->AddNote(5, some);
  }
  EXPECT_EQ(SetsAdded(told), SetsAdded(plain));
  EXPECT_EQ(told.SaveOrder(), plain.SaveOrder());
}

// Words whose texts outgrow the storage they share several times, and
// enough notes that the walk is filled on two threads: every word keeps its
// text, is found, and has its place, its letters and its notes in the walk.
TEST_F(WordIndexTest, AWalkOfManyWordsHasEveryWordsPlaceTextAndNotes) {
  std::vector<std::u16string> texts{u""};
  for (int i = 0; i < 1500; ++i) {
    std::u16string& text =
        texts.emplace_back(static_cast<std::size_t>(i % 23 + 1), static_cast<char16_t>(u'a' + i % 26));
    text += static_cast<char16_t>(u'0' + i % 10);
    text += static_cast<char16_t>(0x400 + i / 10);
  }
  std::vector<WordIndex::Id> ids;
  for (const std::u16string& text : texts) ids.push_back(index.InsertWord(text));
  for (int n = 0; n < 60; ++n) {
    const WordIndex::Id note = index.InternNote(std::u16string(u"note").append(static_cast<std::size_t>(n + 1), u'n'));
    index.AddNote(note, ids);  // 60 x 1501 postings
  }
  ASSERT_EQ(index.WordCount(), texts.size());
  const WordIndex::WalkOrder& walk = index.Walk();
  ASSERT_EQ(walk.postings, 60u * texts.size());
  std::u16string letters;  // the words in walk order, each ended by a NUL
  for (const WordIndex::Id word : walk.words) letters.append(index.Word(word)) += u'\0';
  EXPECT_EQ(walk.Text(), letters);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const WordIndex::Id word = ids[i];
    EXPECT_EQ(word, i);
    EXPECT_EQ(index.Word(word), texts[i]);
    EXPECT_EQ(index.FindWord(texts[i]), word);
    const std::uint32_t at = walk.position[word];
    ASSERT_LT(at, walk.words.size());
    EXPECT_EQ(walk.words[at], word);
    EXPECT_EQ(walk.Text().substr(walk.textBegin[at], walk.textBegin[at + 1] - walk.textBegin[at] - 1), texts[i]);
    EXPECT_EQ(walk.NotesAt(at).size(), 60u);
  }
}

// A word that cannot be had leaves the index as it was: every word before
// it keeps its text and id, and a retry inserts it.
TEST_F(WordIndexTest, AFailedInsertionLeavesTheWordsBeforeIt) {
  int failures = 0;
  // After 8 and 16 words the lookup and the records grow; the texts grow
  // now and then.
  for (const int before : {1, 8, 16, 40}) {
    for (int after = 0; after < 6; ++after) {
      WordIndex words;
      std::vector<std::u16string> texts;
      for (int i = 0; i < before; ++i) texts.push_back(std::u16string(u"word ").append(static_cast<std::size_t>(i + 1), u'x'));
      for (const std::u16string& text : texts) words.InsertWord(text);
      const std::u16string next = u"one more word of many letters";
      bool failed = false;
      {
        FailAllocation fail(after);
        try {
          words.InsertWord(next);
        } catch (const std::bad_alloc&) {
          failed = true;
        }
      }
      failures += failed ? 1 : 0;
      EXPECT_EQ(words.WordCount(), failed ? texts.size() : texts.size() + 1) << before << " " << after;
      EXPECT_EQ(words.FindWord(next) == WordIndex::kNone, failed) << before << " " << after;
      for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(words.Word(static_cast<WordIndex::Id>(i)), texts[i]) << before << " " << after;
        EXPECT_EQ(words.FindWord(texts[i]), i) << before << " " << after;
      }
      EXPECT_EQ(words.Word(words.InsertWord(next)), next) << before << " " << after;
    }
  }
  EXPECT_GE(failures, 4);
}

}  // namespace
