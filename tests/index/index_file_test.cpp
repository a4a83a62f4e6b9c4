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

#include "tests/support/alloc_failure.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace {

namespace fs = std::filesystem;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

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
  void TearDown() override { Free(words); }

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

  void Load() { LoadIndexFile(env, folder, stamps, wordLists, &words); }
  bool Save() { return SaveIndexFile(env, folder, stamps, wordLists); }

  bool LoadedNothing() const {
    return stamps.Count() == 0 && wordLists.Count() == 0 && words.Count() == 0;
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
  CMapStringToString wordLists;
  WordIndex words;
};

TEST_F(IndexFileTest, SavesTheExampleByteForByteAndLoadsItBack) {
  stamps.SetValue(u"tea.txt", u"20240105093000");
  wordLists.SetValue(u"tea", u"tea.txt");
  ASSERT_TRUE(Save());
  EXPECT_EQ(ReadIndex().size(), 82u);
  EXPECT_EQ(ReadIndex(), kExample);
  EXPECT_EQ(FolderNames(), std::vector<std::string>{"notes.ndx"});

  stamps.Clear();
  wordLists.Clear();
  Load();
  EXPECT_EQ(PairsOf(stamps), (Pairs{{u"tea.txt", u"20240105093000"}}));
  EXPECT_EQ(PairsOf(wordLists), (Pairs{{u"tea", u"tea.txt"}}));
  ASSERT_NE(words.FindEntry(u"tea"), nullptr);
  EXPECT_NE(words.FindEntry(u"tea")->value->FindEntry(u"tea.txt"), nullptr);
}

TEST_F(IndexFileTest, SavedPairsFollowTheMapsWalkOrder) {
  ASSERT_TRUE(Save());
  EXPECT_EQ(ReadIndex(), Bytes({0, 0, 0, 0}));

  wordLists.SetValue(u"milk", u"a");
  wordLists.SetValue(u"tea", u"b");
  wordLists.SetValue(u"", u"");
  ASSERT_TRUE(Save());
  EXPECT_EQ(ReadIndex(), Bytes({0x00, 0x00, 0x03, 0x00}) +                         //
                             Bytes({0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFE, 0xFF, 0x00}) +  // bucket 0
                             Bytes({0xFF, 0xFE, 0xFF, 0x03}) + Utf16("tea") +     // bucket 10
                             Bytes({0xFF, 0xFE, 0xFF, 0x01}) + Utf16("b") +       //
                             Bytes({0xFF, 0xFE, 0xFF, 0x04}) + Utf16("milk") +    // bucket 12
                             Bytes({0xFF, 0xFE, 0xFF, 0x01}) + Utf16("a"));
}

TEST_F(IndexFileTest, MissingFileAndTrailingBytes) {
  Load();
  EXPECT_TRUE(LoadedNothing());

  WriteIndex(kExample + "trailing bytes");
  Load();
  EXPECT_EQ(stamps.Count(), 1);
  EXPECT_EQ(wordLists.Count(), 1);
  EXPECT_EQ(words.Count(), 1);
}

TEST_F(IndexFileTest, CutFileLoadsAsNothing) {
  for (std::size_t size = 0; size < kExample.size(); ++size) {
    SCOPED_TRACE(size);
    LoadMeasured(kExample.substr(0, size));
    EXPECT_TRUE(LoadedNothing());
  }
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

// Exhausted memory anywhere in the load, the expansion included, leaves all
// three empty; the sanitizer build checks that no note set leaks.
TEST_F(IndexFileTest, FailedAllocationAnywhereLoadsAsNothing) {
  std::string file = Bytes({0x00, 0x00, 0x05, 0x00});
  const std::string list = "one.txt:two.txt:a-long-name-that-is-on-the-heap.txt";
  for (char word = 'a'; word < 'f'; ++word) {
    file += Bytes({0x01, word, static_cast<int>(list.size())}) + list;
  }
  WriteIndex(file);
  bool completed = false;
  for (int after = 0; !completed; ++after) {
    {
      FailAllocation fail(after);
      Load();
      completed = !fail.Fired();
    }
    if (completed) {
      EXPECT_EQ(words.Count(), 5);
    } else {
      EXPECT_TRUE(LoadedNothing()) << "failing allocation " << after;
    }
    Free(words);
    words.Clear();
    stamps.Clear();
    wordLists.Clear();
  }
}

class SaveFailureTest : public IndexFileTest {
 protected:
  void SetUp() override {
    WriteIndex(kExample);
    wordLists.SetValue(u"milk", u"new.txt");
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
