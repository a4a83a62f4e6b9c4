#include "index/index_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "index/archive.h"
#include "tests/support/alloc_failure.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace {

namespace fs = std::filesystem;

std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += {c, '\0'};
  return out;
}

// One folder with one note, tea.txt, last written 2024-01-05 09:30:00,
// holding the word tea.
const std::string kExample =
    Bytes({0x01, 0x00, 0xFF, 0xFE, 0xFF, 0x07}) + Utf16("tea.txt") +
    Bytes({0xFF, 0xFE, 0xFF, 0x0E}) + Utf16("20240105093000") +
    Bytes({0x01, 0x00, 0xFF, 0xFE, 0xFF, 0x03}) + Utf16("tea") +
    Bytes({0xFF, 0xFE, 0xFF, 0x07}) + Utf16("tea.txt");

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

Pairs PairsOf(const CMapStringToString& map) {
  Pairs pairs;
  for (auto* e = map.FirstEntry(); e; e = map.NextEntry(e)) pairs.emplace_back(e->key, e->value);
  return pairs;
}

class IndexFileTest : public ::testing::Test {
 protected:
  fs::path IndexPath() const { return dir.path() / "notes.ndx"; }

  void WriteIndex(const std::string& bytes) const {
    std::ofstream(IndexPath(), std::ios::binary) << bytes;
  }

  std::string ReadIndex() const {
    std::ifstream in(IndexPath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::vector<std::string> FolderNames() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) {
      names.push_back(e.path().filename().string());
    }
    return names;
  }

  void Load() { LoadIndexFile(env, folder, stamps, words); }
  bool Save() { return SaveIndexFile(env, folder, stamps, words); }

  bool LoadedNothing() const { return stamps.Count() == 0 && words.WordCount() == 0; }

  // The word lists as saving would join them, in saved order.
  Pairs WordLists() const {
    Pairs pairs;
    const WordIndex::WalkOrder& walk = words.Walk();
    for (const WordIndex::Id word : words.SaveOrder()) {
      std::u16string list;
      for (const WordIndex::Id note : walk.NotesAt(walk.position[word])) {
        if (!list.empty()) list += u':';
        list += words.NoteName(note);
      }
      pairs.emplace_back(words.Word(word), list);
    }
    return pairs;
  }

  // Loads bytes as the index file; fails the test when the load held more
  // heap at once than a small multiple of the file's size.
  void LoadMeasured(const std::string& bytes) {
    WriteIndex(bytes);
    MeasureHeapPeak peak;
    Load();
    EXPECT_LE(peak.PeakBytes(), 16384 + 64 * bytes.size()) << "file of " << bytes.size();
  }

  TempDir dir;
  const std::u16string folder = dir.folder();
  TestEnv env;
  CMapStringToString stamps;
  WordIndex words;
};

TEST_F(IndexFileTest, SavesTheExampleByteForByteAndLoadsItBack) {
  stamps.SetValue(u"tea.txt", u"20240105093000");
  AddWord("tea", u"tea.txt", words);
  ASSERT_TRUE(Save());
  EXPECT_EQ(ReadIndex().size(), 82u);
  EXPECT_EQ(ReadIndex(), kExample);
  EXPECT_EQ(FolderNames(), std::vector<std::string>{"notes.ndx"});

  stamps.Clear();
  words = WordIndex();
  Load();
  EXPECT_EQ(PairsOf(stamps), (Pairs{{u"tea.txt", u"20240105093000"}}));
  EXPECT_EQ(WordLists(), (Pairs{{u"tea", u"tea.txt"}}));
}

TEST_F(IndexFileTest, SavedPairsFollowTheMapsWalkOrder) {
  ASSERT_TRUE(Save());
  EXPECT_EQ(ReadIndex(), Bytes({0, 0, 0, 0}));

  AddWord("milk", u"a", words);
  AddWord("tea", u"b", words);
  words.InsertWord(u"");  // an empty set is not saved
  ASSERT_TRUE(Save());
  EXPECT_EQ(ReadIndex(), Bytes({0x00, 0x00, 0x02, 0x00}) +                         //
                             Bytes({0xFF, 0xFE, 0xFF, 0x03}) + Utf16("tea") +     // bucket 10
                             Bytes({0xFF, 0xFE, 0xFF, 0x01}) + Utf16("b") +       //
                             Bytes({0xFF, 0xFE, 0xFF, 0x04}) + Utf16("milk") +    // bucket 12
                             Bytes({0xFF, 0xFE, 0xFF, 0x01}) + Utf16("a"));
}

// Lists as long as several of the archive's buffers, of names on both sides
// of the length a name is copied with in one move and far longer, each
// field exactly as the lists join; words left without notes are not saved.
TEST_F(IndexFileTest, LongWordListsSaveByteForByte) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> length(0, 70);
  for (int i = 0; i < 30000; ++i) {
    const auto size = static_cast<std::size_t>(i % 97 == 0 ? 250 : length(rng));
    std::u16string name(1, u'\x0436');
    name.append(size, static_cast<char16_t>(u'a' + i % 26));
    for (const char c : std::to_string(i)) name += static_cast<char16_t>(c);
    AddWord("all", name, words);
    if (i % 2 == 1) AddWord("odd", name, words);
    AddWord(std::string("w").append(std::to_string(i % 50)), name, words);
    if (i % 1000 == 0) AddWord(std::string("single").append(std::to_string(i)), name, words);
  }
  words.InsertWord(u"empty");
  ASSERT_TRUE(Save());

  const Pairs lists = WordLists();
  ASSERT_EQ(lists.size(), 82u);
  std::string expected = Bytes({0x00, 0x00, 82, 0x00});
  for (const auto& [word, list] : lists) expected += Field(word) + Field(list);
  ASSERT_GT(expected.size(), 3u << 20);
  const std::string saved = ReadIndex();
  EXPECT_TRUE(saved == expected) << saved.size() << " bytes saved, " << expected.size() << " expected";
}

TEST_F(IndexFileTest, MissingFileAndTrailingBytes) {
  Load();
  EXPECT_TRUE(LoadedNothing());

  WriteIndex(kExample + "trailing bytes");
  Load();
  EXPECT_EQ(stamps.Count(), 1);
  EXPECT_EQ(words.WordCount(), 1u);
}

// As a word list map read pair by pair would hold them: a repeated word
// keeps its first place and takes its later list; within a list empty
// pieces are skipped and a repeated name counts once; keys and lists end at
// their first NUL; words are kept as stored.
TEST_F(IndexFileTest, WordListsLoadAsAWordListMapWouldHoldThem) {
  auto pair = [](const std::string& key, const std::string& value) {
    return Bytes({0xFF, 0xFE, 0xFF, static_cast<int>(key.size())}) + Utf16(key) +
           Bytes({0xFF, 0xFE, 0xFF, static_cast<int>(value.size())}) + Utf16(value);
  };
  WriteIndex(Bytes({0x00, 0x00, 0x05, 0x00}) + pair("Tea", "x") + pair("ba", "::a:b::a:") +
             pair("ab", "") + pair("Tea", "r:a") + pair(std::string("ta\0il", 5), std::string("c\0d", 3)));
  Load();
  // Saved back: buckets upward, the first-read word first within a bucket;
  // each list in its set's walk order (a and r share a bucket, so the
  // later read comes first); the emptied word ab is left out.
  EXPECT_EQ(WordLists(), (Pairs{{u"Tea", u"a:r"}, {u"ta", u"c"}, {u"ba", u"a:b"}}));
  EXPECT_EQ(words.WordCount(), 4u);
}

// Stamps load as the map read pair by pair would hold them: key and value
// end at their first NUL, a repeated key keeps its first place and takes
// its later value, and a value cut short leaves nothing behind for the next.
TEST_F(IndexFileTest, StampsLoadAsTheMapWouldHoldThem) {
  auto pair = [](const std::string& key, const std::string& value) {
    return Bytes({0xFF, 0xFE, 0xFF, static_cast<int>(key.size())}) + Utf16(key) +
           Bytes({0xFF, 0xFE, 0xFF, static_cast<int>(value.size())}) + Utf16(value);
  };
  WriteIndex(Bytes({0x05, 0x00}) + pair("a.txt", "1") + pair(std::string("b.txt\0x", 7), std::string("2\0tail", 6)) +
             pair("c.txt", "3") + pair("a.txt", "4") + pair("d.txt", std::string("\0", 1)) + Bytes({0x00, 0x00}));
  Load();
  CMapStringToString expected;
  const Pairs read{{u"a.txt", u"1"}, {u"b.txt", u"2"}, {u"c.txt", u"3"}, {u"a.txt", u"4"}, {u"d.txt", u""}};
  for (const auto& [key, value] : read) expected.SetValue(key, value);
  EXPECT_EQ(PairsOf(stamps), PairsOf(expected));
  EXPECT_EQ(stamps.FindEntry(u"a.txt")->value, u"4");
}

// Counts that cannot fit in the rest of the file (a pair takes two bytes at
// least) make the file damaged at once, before any pair is read.
TEST_F(IndexFileTest, CountsThatCannotFitAreDamagedAtOnce) {
  const std::string emptyPair = Bytes({0x00, 0x00});  // two empty 8-bit strings
  std::string pairs;
  for (int i = 0; i < 1000; ++i) pairs += emptyPair;
  WriteIndex(Bytes({0xE9, 0x03}) + pairs + Bytes({0x00, 0x00}));  // 1001 announced, 1000 there
  Load();
  EXPECT_TRUE(LoadedNothing());
  WriteIndex(Bytes({0xE8, 0x03}) + pairs + Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + pairs);
  Load();
  EXPECT_TRUE(LoadedNothing());
  WriteIndex(Bytes({0xE8, 0x03}) + pairs + Bytes({0x00, 0x00}));  // exactly fits
  Load();
  EXPECT_EQ(PairsOf(stamps), (Pairs{{u"", u""}}));
}

// Many tiny entries and repeated keys load into what they mean, whatever
// their walk hashes: names that all share one walk hash included.
TEST_F(IndexFileTest, ManyTinyAndCollidingEntriesLoad) {
  std::string file = Bytes({0xFF, 0xFF, 0xA0, 0x86, 0x01, 0x00});  // 100000 stamps
  for (int i = 0; i < 100000; ++i) file += Bytes({0x01, 'k', 0x01, static_cast<int>('0' + i % 10)});
  // 2000 words, all with one list of names that share one walk hash:
  // "xy" and "(x+1)(y-33)" hash alike.
  std::string list;
  for (int i = 0; i < 200; ++i) {
    if (!list.empty()) list += ':';
    for (int j = 0; j < 8; ++j) list += (i >> j & 1) ? "bB" : "c!";
  }
  file += Bytes({0xD0, 0x07});
  for (int i = 0; i < 2000; ++i) {
    // Built by append: GCC 12 at -O3 warns wrongly (-Wrestrict) about
    // "literal" + std::to_string(...).
    const std::string key = std::string("w").append(std::to_string(i));
    file += Bytes({static_cast<int>(key.size())}) + key + Bytes({0xFF, static_cast<int>(list.size() & 0xFF),
                                                                  static_cast<int>(list.size() >> 8)}) + list;
  }
  WriteIndex(file);
  Load();
  EXPECT_EQ(PairsOf(stamps), (Pairs{{u"k", u"9"}}));
  ASSERT_EQ(words.WordCount(), 2000u);
  EXPECT_EQ(words.NoteCount(), 201u);  // the stamp's name is interned too
  EXPECT_NE(words.FindNote(u"k"), WordIndex::kNone);
  EXPECT_EQ(words.Walk().postings, 2000u * 200u);
}

TEST_F(IndexFileTest, CutFileLoadsAsNothing) {
  for (std::size_t size = 0; size < kExample.size(); ++size) {
    SCOPED_TRACE(size);
    LoadMeasured(kExample.substr(0, size));
    EXPECT_TRUE(LoadedNothing());
  }
}

// A file of several of the archive's buffers: a read error or a cut
// anywhere, by a buffer's end or far from one, in either section, still
// loads as nothing.
TEST_F(IndexFileTest, LargeFileFailingOrCutAnywhereLoadsAsNothing) {
  for (int i = 0; i < 50000; ++i) {
    std::u16string name(u"note-");
    for (const char c : std::to_string(i)) name += static_cast<char16_t>(c);
    stamps.SetValue(name, u"20240105093000");
    AddWord(std::string("w").append(std::to_string(i % 300)), name, words);
  }
  ASSERT_TRUE(Save());
  const std::string bytes = ReadIndex();
  const std::size_t buffer = CArchive::kLoadBufferSize;
  ASSERT_GT(bytes.size(), 3 * buffer);
  for (const std::size_t at : {std::size_t{0}, buffer - 1, buffer, buffer + 1, 2 * buffer + 7,
                               bytes.size() - buffer / 2, bytes.size() - 1}) {
    SCOPED_TRACE(at);
    stamps.Clear();
    words = WordIndex();
    env.readFailsAt[folder + kIndexFileName] = at;
    Load();
    EXPECT_TRUE(LoadedNothing());
    env.readFailsAt.clear();
    WriteIndex(bytes.substr(0, at));
    Load();
    EXPECT_TRUE(LoadedNothing());
    WriteIndex(bytes);
  }
  Load();
  EXPECT_EQ(stamps.Count(), 50000);
  EXPECT_EQ(words.WordCount(), 300u);
}

TEST_F(IndexFileTest, LengthsPastTheEndFailWithoutAllocatingThem) {
  const std::string files[] = {
      // UTF-16 key of 0xFFFFFFFE code units.
      Bytes({0x01, 0x00, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 'a', 0}),
      // 8-bit key of 0x7FFFFFFF bytes in the 8-byte form.
      Bytes({0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0,
             0, 0, 'a'}),
      // A valid first map, then a value far longer than the file.
      kExample.substr(0, 52) + Bytes({0x01, 0x00, 0x01, 'a', 0xFF, 0xFE, 0xFF, 0xFF, 0xFD,
                                      0xFF, 'b', 0}),
      // 4294967295 pairs announced.
      Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}),
  };
  for (const std::string& bytes : files) {
    LoadMeasured(bytes);
    EXPECT_TRUE(LoadedNothing());
  }
}

// A file's length costs no disk when it is a hole: 2097152 pairs of two
// empty strings announced, in either section, and a gigabyte of zeros
// that takes no room. What loads is at most one pair, so the memory held
// must not follow the count or the length.
TEST_F(IndexFileTest, AHugeSparseFileClaimingManyPairsLoadsInLittleMemory) {
  const std::string many = Bytes({0xFF, 0xFF, 0x00, 0x00, 0x20, 0x00});
  for (const std::string& head : {many, Bytes({0x00, 0x00}) + many}) {
    WriteIndex(head);
    fs::resize_file(IndexPath(), std::uintmax_t{1} << 30);
    stamps.Clear();
    words = WordIndex();
    MeasureHeapPeak peak;
    Load();
    EXPECT_LE(peak.PeakBytes(), std::size_t{16} << 20);
    EXPECT_LE(stamps.Count(), 1);
    EXPECT_LE(words.WordCount(), 1u);
  }
}

TEST_F(IndexFileTest, RandomBytesLoadAsNothing) {
  std::mt19937 random(20240105);
  for (int round = 0; round < 200; ++round) {
    // 65534 pairs need far more bytes than follow, so no file here is valid.
    std::string bytes = Bytes({0xFE, 0xFF});
    const std::size_t size = random() % 600;
    for (std::size_t i = 0; i < size; ++i) bytes.push_back(static_cast<char>(random()));
    LoadMeasured(bytes);
    EXPECT_TRUE(LoadedNothing()) << "round " << round;
  }
}

// Exhausted memory anywhere in the load leaves both empty; the sanitizer
// build checks that nothing leaks. With stamps, their names are interned on
// one of the load's threads, whose failure counts the same.
TEST_F(IndexFileTest, FailedAllocationAnywhereLoadsAsNothing) {
  std::string lists = Bytes({0x05, 0x00});
  const std::string list = "one.txt:two.txt:a-long-name-that-is-on-the-heap.txt";
  for (char word = 'a'; word < 'f'; ++word) {
    lists += Bytes({0x01, word, static_cast<int>(list.size())}) + list;
  }
  std::string stamped = Bytes({0x02, 0x00});
  for (const std::string name : {"one.txt", "a-long-name-that-is-on-the-heap.txt"}) {
    stamped += Bytes({static_cast<int>(name.size())}) + name + Bytes({0x0E}) + "20240105093000";
  }
  for (const std::string& file : {Bytes({0x00, 0x00}) + lists, stamped + lists}) {
    WriteIndex(file);
    bool completed = false;
    for (int after = 0; !completed; ++after) {
      {
        FailAllocation fail(after);
        Load();
        completed = !fail.Fired();
      }
      if (completed) {
        EXPECT_EQ(words.WordCount(), 5u);
      } else {
        EXPECT_TRUE(LoadedNothing()) << "failing allocation " << after;
      }
      words = WordIndex();
      stamps.Clear();
    }
  }
}

class SaveFailureTest : public IndexFileTest {
 protected:
  void SetUp() override {
    WriteIndex(kExample);
    AddWord("milk", u"new.txt", words);
  }

  void ExpectOldIndexKept() {
    EXPECT_FALSE(Save());
    EXPECT_EQ(ReadIndex(), kExample);
    EXPECT_EQ(FolderNames(), std::vector<std::string>{"notes.ndx"});
  }
};

TEST_F(SaveFailureTest, NoTemporaryFile) {
  env.failCreateTemp = true;
  ExpectOldIndexKept();
}

TEST_F(SaveFailureTest, FailingWrite) {
  env.failWrites = true;
  ExpectOldIndexKept();
}

TEST_F(SaveFailureTest, FailingRename) {
  env.failReplace = true;
  ExpectOldIndexKept();
}

TEST_F(SaveFailureTest, ReadOnlyFolder) {
  fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
  const bool writable = ::access(dir.path().string().c_str(), W_OK) == 0;
  if (!writable) ExpectOldIndexKept();
  fs::permissions(dir.path(), fs::perms::owner_all);
  if (writable) GTEST_SKIP() << "permissions do not bind this user";
}

}  // namespace
