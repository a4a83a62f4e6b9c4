// The index load against the old code: files of many word lists, naming
// notes the stamps hold and notes they do not, must save back byte for byte
// as the old maps save them. Also the lookups the load is built on.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "index/archive.h"
#include "index/index_file.h"
#include "index/map.h"
#include "index/lookup_table.h"
#include "index/strong_hash.h"
#include "index/word_index.h"
#include "tests/reference/index_file.h"
#include "tests/reference/map.h"
#include "tests/support/memory_file.h"
#include "tests/support/one_processor.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/cut_list.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"
#include "platform/framework/exceptions.h"

namespace {

std::string Count(std::size_t count) {
  std::string bytes = "\xFF\xFF";
  for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(count >> shift & 0xFF);
  return bytes;
}

std::string ReadFile(const TempDir& dir) {
  std::ifstream in(dir.path() / "notes.ndx", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A random index: stamps for most of a pool of names, then lists of those
// and of names without stamps, with empty pieces, repeats and NULs, more
// lists than one piece of the threads' work holds, and words read twice
// (some with a NUL and more after it).
// Mixed: now and then a word or a list in 8-bit characters (which puts
// the fields after an odd-sized one at odd offsets), and two lists longer
// than the archive's buffer.
// byBucket: the pairs sorted by their word's bucket, keeping their order
// within one, so that the words load in their walk order.
std::string RandomIndex(std::mt19937& rng, std::size_t lists, bool mixed = false, bool byBucket = false) {
  auto pick = [&rng](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
  std::vector<std::u16string> names;
  for (int i = 0; i < 300; ++i) {
    std::u16string name;
    for (std::size_t n = 1 + pick(24); n > 0; --n) name += static_cast<char16_t>(u"abcAB.я 7"[pick(9)]);
    names.push_back(name);
  }
  std::string file;
  const std::size_t stamped = names.size() - 1 - pick(30);  // the rest have no stamp
  file += Count(stamped);
  for (std::size_t i = 0; i < stamped; ++i) file += Field(names[i]) + Field(u"20240105093000");
  file += Count(lists);
  std::vector<std::pair<std::uint32_t, std::string>> pairs;
  for (std::size_t i = 0; i < lists; ++i) {
    std::u16string list;
    for (std::size_t n = pick(40); n > 0; --n) {
      if (!list.empty() || pick(8) == 0) list += u':';
      if (pick(20) == 0) list += u':';
      // Mostly stamped names; now and then one without a stamp.
      list += names[pick(8) == 0 ? pick(names.size()) : pick(stamped)];
    }
    if (pick(50) == 0) list.append(1, u'\0').append(u"after:the:nul");
    // Built by appending: GCC 12 at -O3 warns wrongly (-Wrestrict) about
    // u"literal" + std::u16string.
    std::u16string word(u"w");
    word += static_cast<char16_t>(u'a' + pick(26));
    word += static_cast<char16_t>(u'a' + pick(26));
    if (pick(40) == 0) word.append(1, u'\0').append(u"cut");  // the same word as without its tail
    if (mixed && (i == lists / 3 || i == 2 * lists / 3)) {
      while (list.size() < CArchive::kLoadBufferSize) list.append(u":").append(names[pick(stamped)]);
    }
    const auto eightBit = [&](const std::u16string& text) {
      std::string out = Bytes({0xFF, static_cast<int>(text.size() & 0xFF), static_cast<int>(text.size() >> 8)});
      for (const char16_t c : text) out += static_cast<char>(c < 0x80 ? c : '?');
      return out;
    };
    std::string pair = mixed && pick(10) == 0 ? eightBit(word.substr(0, 1 + pick(3))) : Field(word);
    pair += mixed && pick(10) == 0 && list.size() < 0xFFFF ? eightBit(list) : Field(list);
    pairs.emplace_back(byBucket ? WalkHash(word.substr(0, word.find(u'\0'))) % 17 : 0, std::move(pair));
  }
  std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& pair : pairs) file += pair.second;
  return file;
}

// The old refresh of an unchanged folder: load and expand the index in
// folder, then flatten and save it. True when saved.
bool ResavedByTheOldCode(Env& env, const TempDir& folder) {
  reference::CMapStringToString stamps;
  reference::CMapStringToString lists;
  reference::WordIndex words;
  reference::LoadIndexFile(env, folder.folder(), stamps, lists, &words);
  reference::Flatten(words, lists);
  reference::Free(words);
  return reference::SaveIndexFile(env, folder.folder(), stamps, lists);
}

// Loads file and saves it again, and has the old code resave the same
// file: the two saves are the same bytes. The load must have found at least
// minStamps stamps and minWords words.
void ExpectSavedAsTheOldCodeSaves(const std::string& file, int minStamps, std::size_t minWords) {
  TempDir fast;
  TempDir old;
  std::ofstream(fast.path() / "notes.ndx", std::ios::binary) << file;
  std::ofstream(old.path() / "notes.ndx", std::ios::binary) << file;
  TestEnv env;
  CMapStringToString stamps;
  WordIndex words;
  LoadIndexFile(env, fast.folder(), stamps, words);
  ASSERT_GE(stamps.Count(), minStamps);
  ASSERT_GE(words.WordCount(), minWords);
  ASSERT_TRUE(SaveIndexFile(env, fast.folder(), stamps, words));
  ASSERT_TRUE(ResavedByTheOldCode(env, old));
  EXPECT_TRUE(ReadFile(fast) == ReadFile(old));
}

// Every list names only stamped notes, or one of them does not: the load
// splits the first kind on its threads and the second after them, in their
// places in the file, and the result is the old one either way.
TEST(IndexLoadTest, SavesWhatTheOldCodeSavesFromTheSameFile) {
  std::mt19937 rng(7);
  for (const std::size_t lists : {0u, 1u, 50u, 9000u, 20000u}) {
    SCOPED_TRACE(lists);
    ExpectSavedAsTheOldCodeSaves(RandomIndex(rng, lists), 1, 0);
  }
}

// However the load's thread and the reader meet, the index is the same:
// the thread under way at once, or starting late, when the reader has
// interned the stamps' names itself and splits chunks the thread has not
// taken. Names and words get the same ids and save as the same bytes every
// time. Every other round runs on one processor, where the thread mostly
// starts late; the ThreadSanitizer build checks both ways for races.
TEST(IndexLoadTest, TheIndexLoadedIsTheSameHoweverItsThreadsAreTimed) {
  std::mt19937 rng(29);
  for (const std::size_t lists : {40u, 3000u}) {
    SCOPED_TRACE(lists);
    TempDir in;
    std::ofstream(in.path() / "notes.ndx", std::ios::binary) << RandomIndex(rng, lists);
    TestEnv env;
    struct Loaded {
      std::vector<std::u16string> notes;  // by id
      std::vector<std::u16string> words;  // by id
      std::string saved;
    };
    std::vector<Loaded> rounds;
    for (int round = 0; round < 10; ++round) {
      CMapStringToString stamps;
      WordIndex words;
      if (round % 2 == 1) {
        OnOneProcessor one;
        LoadIndexFile(env, in.folder(), stamps, words);
      } else {
        LoadIndexFile(env, in.folder(), stamps, words);
      }
      Loaded result;
      for (WordIndex::Id note = 0; note < words.NoteCount(); ++note) result.notes.emplace_back(words.NoteName(note));
      for (WordIndex::Id word = 0; word < words.WordCount(); ++word) result.words.emplace_back(words.Word(word));
      TempDir out;
      ASSERT_TRUE(SaveIndexFile(env, out.folder(), stamps, words));
      result.saved = ReadFile(out);
      rounds.push_back(std::move(result));
    }
    ASSERT_GT(rounds.front().words.size(), 20u);
    for (std::size_t round = 1; round < rounds.size(); ++round) {
      EXPECT_TRUE(rounds[round].notes == rounds.front().notes) << round;
      EXPECT_TRUE(rounds[round].words == rounds.front().words) << round;
      EXPECT_TRUE(rounds[round].saved == rounds.front().saved) << round;
    }
  }
}

// Lists are left in the archive's buffers, where they lie whole and
// aligned, while the threads split them, or copied: 8-bit ones, ones at odd
// offsets and ones across a buffer's end. Either way the result is the old
// one, however many buffers the file takes.
TEST(IndexLoadTest, ListsLeftWhereReadOrCopiedLoadAsTheOldCode) {
  std::mt19937 rng(13);
  const std::string file = RandomIndex(rng, 30000, true);
  ASSERT_GT(file.size(), 8 * CArchive::kLoadBufferSize);
  ExpectSavedAsTheOldCodeSaves(file, 0, 601);
}

// A word is cut at its first NUL wherever the NUL lies, in the first or
// the last units of a piece of the file too, and then is the word without
// its tail, read twice.
TEST(IndexLoadTest, AWordIsCutAtItsFirstNulWhereverItLies) {
  const std::u16string letters = u"abcdefghij";
  for (std::size_t length = 1; length < letters.size(); ++length) {
    for (std::size_t nul = 0; nul < length; ++nul) {
      SCOPED_TRACE(std::to_string(length) + " " + std::to_string(nul));
      std::u16string word = letters.substr(0, length);
      word[nul] = u'\0';
      const std::string file = Count(2) + Field(u"n1") + Field(u"20240105093000") + Field(u"n2") +
                               Field(u"20240105093000") + Count(2) + Field(word) + Field(u"n1") +
                               Field(letters.substr(0, nul)) + Field(u"n2:n1");
      ExpectSavedAsTheOldCodeSaves(file, 2, 1);
    }
  }
}

// The stamps section read where the archive's buffers hold it loads the
// old code's map: keys and values at odd offsets, across a buffer's end or
// longer than a buffer, cut at a NUL, keys repeated; and where the file is
// cut, in the middle of a group of pairs or of a string, the pairs before
// the cut, and the same failure.
TEST(IndexLoadTest, StampsLoadAsTheOldCodeLoadsThem) {
  std::mt19937 rng(5);
  std::vector<std::u16string> keys;
  std::string file = Count(3000);
  for (int i = 0; i < 3000; ++i) {
    std::u16string key(1 + rng() % 30, static_cast<char16_t>(0x0400 + rng() % 200));
    key += static_cast<char16_t>(u'0' + i % 10);
    if (i % 97 == 5) key.insert(rng() % key.size(), 1, u'\0');
    keys.push_back(i % 50 == 7 ? keys[rng() % keys.size()] : key);
    std::u16string value(u"20240105093000");
    if (i % 61 == 3) value[rng() % value.size()] = u'\0';
    if (i == 1500) value.assign(CArchive::kLoadBufferSize, u'v');
    if (i % 13 == 0) {
      std::string bytes;
      for (const char16_t c : keys.back()) bytes += static_cast<char>(c < 0x80 ? c : 'x');
      file += Bytes({static_cast<int>(bytes.size())}) + bytes;
    } else {
      file += Field(keys.back());
    }
    file += Field(value);
  }
  const auto pairs = [](const auto& map) {
    std::vector<std::pair<std::u16string, std::u16string>> out;
    for (auto* e = map.FirstEntry(); e != nullptr; e = map.NextEntry(e)) out.emplace_back(e->key, e->value);
    return out;
  };
  for (const std::size_t cut : {file.size(), file.size() - 1, file.size() - 40, file.size() - 1000,
                                file.size() / 2 + 3, file.size() / 2 + 2000}) {
    SCOPED_TRACE(cut);
    std::string bytes = file.substr(0, cut);
    std::string oldBytes = bytes;
    MemoryFile in(bytes);
    MemoryFile oldIn(oldBytes);
    CArchive ar(in, CArchive::load);
    CArchive oldAr(oldIn, CArchive::load);
    CMapStringToString map;
    reference::CMapStringToString old;
    bool failed = false;
    bool oldFailed = false;
    try {
      map.Exchange(ar);
    } catch (const CArchiveException& e) {
      failed = e.m_cause == CArchiveException::endOfFile;
    }
    try {
      old.Exchange(oldAr);
    } catch (const CArchiveException& e) {
      oldFailed = e.m_cause == CArchiveException::endOfFile;
    }
    EXPECT_EQ(failed, cut < file.size());
    EXPECT_EQ(failed, oldFailed);
    EXPECT_GT(map.Count(), 1000);
    EXPECT_TRUE(pairs(map) == pairs(old));
  }
}

// The words' text is had at the size the first walk bucket foretells:
// words in walk order that grow longer after it, or shorter, or lie in one
// bucket only, or out of order, load as the old code loads them.
TEST(IndexLoadTest, WordsLongerOrShorterThanTheFirstBucketForetellsLoadAsTheOldCode) {
  std::mt19937 rng(21);
  const auto word = [&rng](std::size_t length, bool firstBucket) {
    for (;;) {
      std::u16string text;
      for (std::size_t i = 0; i < length; ++i) text += static_cast<char16_t>(u'a' + rng() % 26);
      if ((WalkHash(text) % 17 == 0) == firstBucket) return text;
    }
  };
  struct Shape {
    std::size_t first, later;  // word lengths in the first bucket and after it
    bool sorted;
  };
  for (const Shape shape : {Shape{2, 300, true}, Shape{400, 4, true}, Shape{3, 3, true}, Shape{4, 90, false}}) {
    SCOPED_TRACE(std::to_string(shape.first) + " " + std::to_string(shape.later));
    std::vector<std::pair<std::uint32_t, std::u16string>> words;
    for (int i = 0; i < 3000; ++i) {
      const bool first = i < 500;
      std::u16string text = word(first ? shape.first : shape.later, first);
      words.emplace_back(WalkHash(text) % 17, std::move(text));
    }
    if (shape.sorted) {
      std::stable_sort(words.begin(), words.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    } else {
      std::shuffle(words.begin(), words.end(), rng);
    }
    std::string file = Count(2) + Field(u"n1") + Field(u"20240105093000") + Field(u"n2") + Field(u"20240105093000");
    file += Count(words.size());
    for (std::size_t i = 0; i < words.size(); ++i) file += Field(words[i].second) + Field(i % 3 ? u"n1:n2" : u"n2");
    ExpectSavedAsTheOldCodeSaves(file, 2, 1000);
  }
}

// Loading and saving again and again, as unchanged refreshes do, keeps
// matching the old code: a file this program saved holds each list in its
// set's walk order, buckets ascending, which the walk after a load derives
// by reversing each bucket's run instead of sorting.
TEST(IndexLoadTest, ResavingWhatWasSavedMatchesTheOldCodeEachTime) {
  std::mt19937 rng(11);
  const std::string file = RandomIndex(rng, 3000);
  TempDir fast;
  TempDir old;
  std::ofstream(fast.path() / "notes.ndx", std::ios::binary) << file;
  std::ofstream(old.path() / "notes.ndx", std::ios::binary) << file;
  TestEnv env;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    CMapStringToString stamps;
    WordIndex words;
    LoadIndexFile(env, fast.folder(), stamps, words);
    ASSERT_GT(words.WordCount(), 0u);
    ASSERT_TRUE(SaveIndexFile(env, fast.folder(), stamps, words));

    ASSERT_TRUE(ResavedByTheOldCode(env, old));

    EXPECT_TRUE(ReadFile(fast) == ReadFile(old));
  }
}

// Every unit of a key counts, at every length around the hash's 8- and
// 16-byte steps; keys that differ only in length differ too.
TEST(IndexLoadTest, EveryCodeUnitOfAKeyCountsInItsStrongHash) {
  std::set<std::uint64_t> seen;
  std::size_t keys = 0;
  for (std::size_t length = 0; length <= 40; ++length) {
    const std::u16string key(length, u'\0');
    seen.insert(StrongHash(key));
    ++keys;
    for (std::size_t i = 0; i < length; ++i) {
      for (const char16_t c : {u'a', u'\xFFFF', u'я'}) {
        std::u16string changed = key;
        changed[i] = c;
        seen.insert(StrongHash(changed));
        ++keys;
      }
    }
  }
  EXPECT_EQ(seen.size(), keys);
}

// CutList(list) gives what splitting list at ':' up to its first NUL gives,
// empty pieces left out, with each name's StrongHash.
void ExpectCutAsSplit(std::u16string_view list, std::vector<std::u16string_view>& names,
                      std::vector<std::uint64_t>& strong) {
  std::vector<std::u16string> expected;
  const std::u16string_view kept = list.substr(0, std::min(list.find(u'\0'), list.size()));
  for (std::size_t begin = 0; begin <= kept.size();) {
    const std::size_t end = std::min(kept.find(u':', begin), kept.size());
    if (end > begin) expected.emplace_back(kept.substr(begin, end - begin));
    begin = end + 1;
  }
  CutList(list, names, strong);
  ASSERT_EQ(names.size(), expected.size());
  ASSERT_EQ(strong.size(), expected.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_TRUE(names[i] == expected[i]) << "name " << i;
    EXPECT_EQ(strong[i], StrongHash(expected[i])) << "name " << i;
  }
}

// Cutting a list gives what splitting it at ':' up to its first NUL gives,
// empty pieces left out, with each name's StrongHash: names of every length
// around the hash's 16-byte blocks and the cut's eight units, the list a
// piece of longer text whose units after it are not its own.
TEST(IndexLoadTest, CuttingAListGivesItsNamesAndTheirStrongHashes) {
  std::mt19937 rng(5);
  auto pick = [&rng](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
  std::vector<std::u16string_view> names;
  std::vector<std::uint64_t> strong;
  for (int round = 0; round < 3000; ++round) {
    std::u16string text;
    for (std::size_t pieces = pick(6); pieces > 0; --pieces) {
      text.append(pick(3), u':');
      text.append(pick(3) == 0 ? pick(50) : pick(20), static_cast<char16_t>(u"aяZ"[pick(3)]));
      if (!text.empty() && pick(2) == 0) text[pick(text.size())] = u'b';  // colons too, now and then
    }
    if (pick(8) == 0) text.insert(pick(text.size() + 1), 1, u'\0');
    const std::size_t from = pick(4);
    const std::u16string padded = std::u16string(from, u'x') + text + u"beyond:the:end";
    const std::u16string_view list = std::u16string_view(padded).substr(from, text.size());

    ExpectCutAsSplit(list, names, strong);
    if (HasFailure()) FAIL() << "round " << round;
  }
}

// The same around the 64-unit pieces a list is tested in: lists of every
// length to a few pieces, each in memory of its exact size (so a read past
// its end is caught under the address sanitizer), with names shorter and
// longer than a piece, runs of ':', and a NUL at each place a piece or the
// eights within one begin or end.
TEST(IndexLoadTest, CuttingAListHoldsAtTheEdgesOfItsPieces) {
  std::mt19937 rng(11);
  std::vector<std::u16string_view> names;
  std::vector<std::uint64_t> strong;
  for (std::size_t length = 0; length <= 200; ++length) {
    std::u16string text;
    while (text.size() < length) {
      const std::size_t name = std::uniform_int_distribution<std::size_t>(0, 4)(rng) == 0 ? 60 + rng() % 90 : rng() % 30;
      text.append(name, static_cast<char16_t>(u"aя\xFFFF"[rng() % 3]));
      text.append(1 + rng() % 2 * (rng() % 4), u':');
    }
    text.resize(length);
    for (const std::size_t nul : {std::size_t{1000}, std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{8},
                                  std::size_t{63}, std::size_t{64}, std::size_t{65}, std::size_t{128}, length - 1}) {
      std::u16string withNul = text;
      if (nul < length) withNul[nul] = u'\0';
      const std::unique_ptr<char16_t[]> exact(new char16_t[length]);
      std::copy(withNul.begin(), withNul.end(), exact.get());
      const std::u16string_view list(exact.get(), length);

      ExpectCutAsSplit(list, names, strong);
      if (HasFailure()) FAIL() << "length " << length << ", NUL at " << nul;
    }
  }
}

// Keys compare equal exactly when they are: at every length around the
// compare's 8-, 16-, 32- and 64-byte steps, a change of any one unit, or a
// unit more or less, is seen; equal keys in other memory are equal. Each key
// lies in memory of its exact size.
TEST(IndexLoadTest, KeysCompareEqualExactlyWhenTheyAre) {
  const auto exact = [](const std::u16string& key) {
    std::unique_ptr<char16_t[]> copy(new char16_t[key.size()]);
    std::copy(key.begin(), key.end(), copy.get());
    return copy;
  };
  for (std::size_t length = 0; length <= 40; ++length) {
    std::u16string key;
    for (std::size_t i = 0; i < length; ++i) key += static_cast<char16_t>(u'a' + i % 26);
    const auto original = exact(key);
    const std::u16string_view a(original.get(), length);
    const auto same = exact(key);
    EXPECT_TRUE(SameKey(a, std::u16string_view(same.get(), length))) << length;
    const auto longer = exact(key + u'a');
    EXPECT_FALSE(SameKey(a, std::u16string_view(longer.get(), length + 1))) << length;
    EXPECT_FALSE(SameKey(std::u16string_view(longer.get(), length + 1), a)) << length;
    for (std::size_t i = 0; i < length; ++i) {
      for (const char16_t c : {u'\0', u'A', u'\xFFFF'}) {
        std::u16string changed = key;
        changed[i] = c;
        const auto other = exact(changed);
        EXPECT_FALSE(SameKey(a, std::u16string_view(other.get(), length))) << length << ' ' << i;
      }
    }
  }
}

// Many words at once, repeats within and across the groups they are
// inserted in included, get the ids and the order one at a time gives.
TEST(IndexLoadTest, InsertingManyWordsAtOnceInsertsWhatOneAtATimeInserts) {
  std::vector<std::u16string> texts;
  for (int i = 0; i < 150; ++i) texts.push_back(std::u16string(u"w").append(static_cast<std::size_t>(i % 70), u'a'));
  const std::vector<std::u16string_view> views(texts.begin(), texts.end());
  WordIndex many;
  WordIndex single;
  many.InsertWord(u"already");
  single.InsertWord(u"already");
  std::vector<WordIndex::Id> ids(views.size(), 12345);
  many.InsertWords(views, ids.data());
  for (std::size_t i = 0; i < views.size(); ++i) EXPECT_EQ(ids[i], single.InsertWord(views[i])) << i;
  ASSERT_EQ(many.WordCount(), single.WordCount());
  for (WordIndex::Id word = 0; word < many.WordCount(); ++word) EXPECT_EQ(many.Word(word), single.Word(word));
  EXPECT_EQ(many.Walk().words, single.Walk().words);
}

// Many names interned at once get the ids one at a time gives, across the
// groups they are read ahead in, with names repeated and names interned
// before among them.
TEST(IndexLoadTest, InterningManyNamesAtOnceInternsWhatOneAtATimeInterns) {
  std::vector<std::u16string> names;
  for (int i = 0; i < 150; ++i) names.push_back(std::u16string(u"n").append(static_cast<std::size_t>(i % 97), u'q'));
  names.push_back(u"");
  names.push_back(u"first");
  names.push_back(u"\u044f\uffff\u00e9");  // units above 0x7FFF weigh in the walk hash as unsigned
  // As the load gives them: the names of a map in its walk order, with the
  // walk hashes it keeps.
  CMapStringToString map;
  for (const std::u16string& name : names) map[name] = u"stamp";
  std::vector<std::u16string_view> walked;
  std::vector<std::uint32_t> walkHashes;
  for (auto* e = map.FirstEntry(); e != nullptr; e = map.NextEntry(e)) {
    walked.push_back(e->key);
    walkHashes.push_back(e->nHashValue);
  }
  for (const bool hashed : {false, true}) {
    SCOPED_TRACE(hashed);
    const std::vector<std::u16string_view> views =
        hashed ? walked : std::vector<std::u16string_view>(names.begin(), names.end());
    WordIndex many;
    WordIndex single;
    many.InternNote(u"first");
    single.InternNote(u"first");
    many.ReserveNotes(10, 100);  // less than they need
    many.InternNotes(views, hashed ? walkHashes.data() : nullptr);
    for (const std::u16string_view name : views) single.InternNote(name);
    ASSERT_EQ(many.NoteCount(), single.NoteCount());
    ASSERT_EQ(many.NoteCount(), 100u);
    for (WordIndex::Id note = 0; note < many.NoteCount(); ++note) {
      EXPECT_EQ(many.NoteName(note), single.NoteName(note)) << note;
      EXPECT_EQ(many.NoteBucket(note), single.NoteBucket(note)) << note;
      EXPECT_EQ(many.FindNote(many.NoteName(note)), note) << note;
    }
  }
}

// A walk: per walk position, the word and then its notes' names.
using Walked = std::vector<std::vector<std::u16string>>;

// Also checks that the walk's text, word starts and positions agree with
// its words.
Walked WalkOf(const WordIndex& index) {
  const WordIndex::WalkOrder& walk = index.Walk();
  Walked walked;
  std::u16string text;
  EXPECT_EQ(walk.textBegin.size(), walk.words.size() + 1);
  for (std::size_t at = 0; at < walk.words.size(); ++at) {
    const WordIndex::Id word = walk.words[at];
    EXPECT_EQ(walk.position[word], at);
    EXPECT_EQ(walk.textBegin[at], text.size());
    text.append(index.Word(word)) += u'\0';
    std::vector<std::u16string>& names = walked.emplace_back(1, std::u16string(index.Word(word)));
    for (const WordIndex::Id note : walk.NotesAt(at)) names.emplace_back(index.NoteName(note));
  }
  EXPECT_EQ(walk.textBegin.back(), text.size());
  EXPECT_TRUE(walk.Text() == text);
  return walked;
}

Walked WalkOf(const reference::WordIndex& index) {
  Walked walked;
  for (auto* word = index.FirstEntry(); word != nullptr; word = index.NextEntry(word)) {
    std::vector<std::u16string>& names = walked.emplace_back(1, word->key);
    for (auto* note = word->value->FirstEntry(); note != nullptr; note = word->value->NextEntry(note)) {
      names.push_back(note->key);
    }
  }
  return walked;
}

// Loads the index in folder with both codes and compares their walks, then
// again after each of: a note taken out, a note added to words it is in
// and is not in, a word new to the index. idOrder: the file lists its words
// in walk order, so the loaded walk is the index's own text.
void ExpectWalkedAsTheOldCodeWalks(const TempDir& folder, bool idOrder) {
  TestEnv env;
  CMapStringToString stamps;
  WordIndex words;
  LoadIndexFile(env, folder.folder(), stamps, words);
  reference::CMapStringToString oldStamps;
  reference::CMapStringToString oldLists;
  reference::WordIndex oldWords;
  reference::LoadIndexFile(env, folder.folder(), oldStamps, oldLists, &oldWords);
  ASSERT_GT(words.WordCount(), 100u);
  EXPECT_EQ(WalkOf(words), WalkOf(oldWords));
  EXPECT_EQ(words.Walk().Text().data() == words.Word(0).data(), idOrder);

  // The first note of the walk's first set with two or more.
  const WordIndex::WalkOrder& walk = words.Walk();
  std::size_t at = 0;
  while (at < walk.words.size() && walk.NotesAt(at).size() < 2) ++at;
  ASSERT_LT(at, walk.words.size());
  const std::u16string gone(words.NoteName(walk.NotesAt(at)[0]));
  const std::u16string kept(words.NoteName(walk.NotesAt(at)[1]));
  std::vector<bool> goneIds(words.NoteCount());
  goneIds[words.FindNote(gone)] = true;
  words.RemoveNotes(goneIds);
  reference::RemoveNote(gone, oldWords);
  EXPECT_EQ(WalkOf(words), WalkOf(oldWords));

  for (const char* added : {"waa", "wzz", "wqq", "brandnew"}) {
    AddWord(added, kept, words);
    reference::AddWord(added, kept, oldWords);
  }
  EXPECT_EQ(WalkOf(words), WalkOf(oldWords));
  reference::Free(oldWords);
}

// Loaded as listed in a file, with words read twice and lists not in walk
// order; resaved, so in walk order throughout; and with words out of walk
// order: each walks as the old code's, and so after changes.
TEST(IndexLoadTest, ALoadedIndexWalksAsTheOldCodeBeforeAndAfterChanges) {
  std::mt19937 rng(29);
  for (const bool byBucket : {true, false}) {
    SCOPED_TRACE(byBucket);
    TempDir folder;
    std::ofstream(folder.path() / "notes.ndx", std::ios::binary) << RandomIndex(rng, 3000, false, byBucket);
    ExpectWalkedAsTheOldCodeWalks(folder, byBucket);
    if (!byBucket) continue;
    TestEnv env;
    CMapStringToString stamps;
    WordIndex words;
    LoadIndexFile(env, folder.folder(), stamps, words);
    ASSERT_TRUE(SaveIndexFile(env, folder.folder(), stamps, words));
    ExpectWalkedAsTheOldCodeWalks(folder, true);
  }
}

}  // namespace
