// The fast maps, word index, index file, refresh and scoring against the
// code they replaced (tests/reference), on random work: whatever the fast
// code does must be exactly what the old code did.
//
// SCRIBLET_DIFF_SCALE (default 1) multiplies the amount of random work, for
// a longer run by hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "index/map.h"
#include "index/refresh.h"
#include "index/search_window.h"
#include "platform/text/code_page.h"
#include "platform/text/lower_case.h"
#include "search/scoring.h"
#include "tests/reference/map.h"
#include "tests/reference/refresh.h"
#include "tests/reference/scoring.h"
#include "tests/reference/search_window.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace {

namespace fs = std::filesystem;

int Scale() {
  const char* text = std::getenv("SCRIBLET_DIFF_SCALE");
  const int scale = text != nullptr ? std::atoi(text) : 1;
  return scale > 0 ? scale : 1;
}

std::uint32_t WalkHashOf(const std::u16string& key) {
  std::uint32_t h = 0;
  for (char16_t c : key) h = h * 33 + c;
  return h;
}

// Keys in every bucket, many sharing a bucket, and groups sharing the whole
// walk hash: "xy" and "(x+1)(y-33)" hash alike.
std::vector<std::u16string> CollidingKeys(std::mt19937& rng) {
  std::vector<std::u16string> keys;
  std::uniform_int_distribution<int> letter(u'a', u'z'), length(0, 6);
  for (int i = 0; i < 300; ++i) {
    std::u16string key;
    for (int n = length(rng); n > 0; --n) key += static_cast<char16_t>(letter(rng));
    keys.push_back(key);
  }
  for (char16_t c = u'a'; c <= u'z'; ++c) {
    keys.push_back(std::u16string{c, u'z'});
    keys.push_back(std::u16string{static_cast<char16_t>(c + 1), static_cast<char16_t>(u'z' - 33)});
    keys.push_back(std::u16string{u'x', c, u'z'});
    keys.push_back(std::u16string{u'x', static_cast<char16_t>(c + 1), static_cast<char16_t>(u'z' - 33)});
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return keys;
}

template <class MAP>
std::vector<std::pair<std::u16string, int>> WalkOf(const MAP& map) {
  std::vector<std::pair<std::u16string, int>> pairs;
  for (auto* e = map.FirstEntry(); e != nullptr; e = map.NextEntry(e)) pairs.emplace_back(e->key, e->value);
  return pairs;
}

TEST(Differential, MapOperationsMatchTheChainedMap) {
  std::mt19937 rng(7);
  const std::vector<std::u16string> keys = CollidingKeys(rng);
  std::vector<bool> buckets(17);
  for (const auto& key : keys) buckets[WalkHashOf(key) % 17] = true;
  ASSERT_EQ(std::count(buckets.begin(), buckets.end(), true), 17);

  reference::CMap<int> old;
  CMap<int> fast;
  std::uniform_int_distribution<std::size_t> pick(0, keys.size() - 1);
  std::uniform_int_distribution<int> op(0, 999);
  const long operations = 1'000'000L * Scale();
  for (long i = 0; i < operations; ++i) {
    const std::u16string& key = keys[pick(rng)];
    const int what = op(rng);
    if (what < 400) {
      old[key] += 1;
      fast[key] += 1;
    } else if (what < 600) {
      old.SetValue(key, static_cast<int>(i));
      fast.SetValue(key, static_cast<int>(i));
    } else if (what < 950) {
      ASSERT_EQ(old.RemoveEntry(key), fast.RemoveEntry(key));
    } else if (what < 951) {
      old.Clear();
      fast.Clear();
    } else {
      const auto* o = old.FindEntry(key);
      const auto* f = fast.FindEntry(key);
      ASSERT_EQ(o == nullptr, f == nullptr);
      if (o != nullptr) {
        ASSERT_EQ(o->value, f->value);
      }
    }
    ASSERT_EQ(old.Count(), fast.Count());
    if (i % 997 == 0) {
      ASSERT_EQ(WalkOf(old), WalkOf(fast)) << "after " << i << " operations";
    }
  }
  EXPECT_EQ(WalkOf(old), WalkOf(fast));
}

// --- Folders refreshed by both ---

constexpr std::int64_t kBaseTime = 1704447000;  // 2024-01-05 09:30:00 UTC

const char* const kVocabulary[] = {
    "cat", "Cat", "CATS", "scat", "dog", "dogma", "tea", "milk", "a", "b", "ab", "ba",
    "note", "zebra", "x1", "42", "кот", "Кот", "КОТЫ", "чай", "Чайник", "молоко", "дом",
    "Дом", "домик", "ёж", "Ёжик", "яблоко", "Я", "щука", "ЩУКА", "мир", "Мир", "мираж"};
const char* const kSeparators[] = {" ", " ", ", ", "\n", ". ", "!", "\t"};

std::string RandomText(std::mt19937& rng) {
  std::uniform_int_distribution<int> words(0, 12);
  std::uniform_int_distribution<std::size_t> word(0, std::size(kVocabulary) - 1);
  std::uniform_int_distribution<std::size_t> separator(0, std::size(kSeparators) - 1);
  std::string text;
  for (int n = words(rng); n > 0; --n) {
    text += kVocabulary[word(rng)];
    text += kSeparators[separator(rng)];
  }
  return text.empty() ? std::string("...") : text;
}

// What a search window shows for a set of queries.
struct Shown {
  std::vector<std::vector<std::u16string>> names;
  std::vector<std::vector<int>> scores;
  std::vector<int> counts;
  bool operator==(const Shown&) const = default;
};

const std::u16string kQueries[] = {
    u"a", u"b", u"c", u"к", u"К", u"Д", u"ё", u"Я", u"ca", u"CAT", u"cat cat", u"  cat   dog  ",
    u"до", u"ДОМ ко", u"мир Мира", u"x", u"1", u"4", u"tea milk zebra", u"нет", u"ab ba",
    u"cat,", u"щ у", u"o", u"о", std::u16string(u"ca\0t", 4), u"."};

// Random queries: single letters, prefixes and inner parts of words, in
// any case, one to three tokens with spaces around, plus the fixed ones.
std::vector<std::u16string> RandomQueries(std::mt19937& rng) {
  std::vector<std::u16string> queries(std::begin(kQueries), std::end(kQueries));
  std::uniform_int_distribution<std::size_t> word(0, std::size(kVocabulary) - 1);
  std::uniform_int_distribution<int> tokens(1, 3), percent(0, 99);
  for (int i = 0; i < 40; ++i) {
    std::u16string query;
    for (int n = tokens(rng); n > 0; --n) {
      const std::string utf8 = kVocabulary[word(rng)];
      std::u16string text;
      for (const char32_t c : std::u32string(std::filesystem::path(utf8).u32string())) {
        text += static_cast<char16_t>(c);
      }
      std::uniform_int_distribution<std::size_t> at(0, text.size() - 1);
      const std::size_t begin = percent(rng) < 60 ? 0 : at(rng);
      std::size_t length = percent(rng) < 30 ? 1 : text.size() - begin;
      length = std::uniform_int_distribution<std::size_t>(1, std::max<std::size_t>(1, length))(rng);
      std::u16string token = text.substr(begin, length);
      if (percent(rng) < 30) {
        for (char16_t& c : token) {
          if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
          if (c >= u'а' && c <= u'я') c = static_cast<char16_t>(c - 32);
        }
      }
      query += std::u16string(static_cast<std::size_t>(percent(rng) % 3), u' ') + token;
    }
    queries.push_back(query + u" ");
  }
  return queries;
}

template <class WORDS, class RANK>
Shown Search(const std::vector<std::u16string>& queries, const WORDS& words, RANK rank) {
  Shown shown;
  for (const std::u16string& query : queries) {
    const auto ranked = rank(query, words);
    shown.names.push_back(ranked.names);
    shown.scores.push_back(ranked.scores);
    shown.counts.push_back(ranked.count);
  }
  return shown;
}

class OldWindow : public reference::SearchWindow {
 public:
  explicit OldWindow(const std::vector<std::u16string>& queries) : queries_(queries) {}
  void Show(reference::WordIndex& words, const std::u16string&) override {
    shown = Search(queries_, words, [](const std::u16string& q, const reference::WordIndex& w) {
      return reference::RankNotes(q, w);
    });
  }
  Shown shown;

 private:
  const std::vector<std::u16string>& queries_;
};

class FastWindow : public SearchWindow {
 public:
  explicit FastWindow(const std::vector<std::u16string>& queries) : queries_(queries) {}
  void Show(WordIndex& words, const std::u16string&) override {
    shown = Search(queries_, words, [](const std::u16string& q, const WordIndex& w) { return RankNotes(q, w); });
  }
  Shown shown;

 private:
  const std::vector<std::u16string>& queries_;
};

// The same random changes applied to two folders.
class TwinFolders {
 public:
  explicit TwinFolders(std::mt19937& rng) : rng_(rng) {}

  // Names are UTF-8, which a narrow path would read in the ANSI code page
  // on Windows.
  static fs::path Utf8(const std::string& name) {
    return fs::path(std::u8string(name.begin(), name.end()));
  }

  void Write(const std::string& name, const std::string& text, std::int64_t mtime) {
    for (const TempDir* dir : {&old_, &fast_}) {
      const fs::path path = dir->path() / Utf8(name);
      std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
      fs::last_write_time(path, std::chrono::file_clock::from_sys(
                                    std::chrono::sys_seconds(std::chrono::seconds(mtime))));
    }
  }
  void Remove(const std::string& name) {
    for (const TempDir* dir : {&old_, &fast_}) fs::remove(dir->path() / Utf8(name));
  }
  void Rename(const std::string& from, const std::string& to) {
    for (const TempDir* dir : {&old_, &fast_}) {
      if (!fs::exists(dir->path() / Utf8(to))) {
        fs::rename(dir->path() / Utf8(from), dir->path() / Utf8(to));
      }
    }
  }

  // The notes in a folder (files of the program's own, such as the index,
  // are compared by content or not at all).
  std::vector<std::string> Notes(const TempDir& dir) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) {
      const std::u8string utf8 = e.path().filename().u8string();
      const std::string name(utf8.begin(), utf8.end());
      if (name.ends_with(".txt")) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string IndexBytes(const TempDir& dir) const {
    std::ifstream in(dir.path() / "notes.ndx", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // A random round of edits: new notes (some time-named, some empty),
  // changed notes, deleted notes, notes renamed by the user.
  // extra: more new notes than usual, so that reading runs far ahead of
  // indexing.
  void Change(int round, int extra = 0) {
    const std::vector<std::string> names = Notes(old_);
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<std::size_t> word(0, std::size(kVocabulary) - 1);
    const std::int64_t time = kBaseTime + 1000 * round;
    for (const std::string& name : names) {
      const int p = percent(rng_);
      if (p < 10) {
        Write(name, RandomText(rng_), time + p);
      } else if (p < 15) {
        Remove(name);
      } else if (p < 19) {
        Rename(name, std::string(kVocabulary[word(rng_)]) + std::to_string(p) + ".txt");
      }
    }
    std::uniform_int_distribution<int> added(3, 25);
    for (int i = added(rng_) + extra; i > 0; --i) {
      const int p = percent(rng_);
      char name[64];
      if (p < 35) {
        std::snprintf(name, sizeof name, "note-2024.01.%02d-10.%02d.%02d.txt", round % 28 + 1, i / 60, i % 60);
      } else {
        std::snprintf(name, sizeof name, "%s %d.txt", kVocabulary[word(rng_)], percent(rng_));
      }
      Write(name, p % 10 == 0 ? std::string() : RandomText(rng_), time + i);
    }
  }

  TempDir old_;
  TempDir fast_;

 private:
  std::mt19937& rng_;
};

TEST(Differential, RefreshesAndRankingsMatchTheOldCode) {
  SetAnsiCodePage(65001);
  SetUserLowerCase(true);
  std::mt19937 rng(11);
  const int folders = 4 * Scale();
  long found = 0;  // notes ranked over all queries: the queries do meet the notes
  long cyrillicFound = 0;
  for (int folder = 0; folder < folders; ++folder) {
    TwinFolders twins(rng);
    for (int round = 0; round < 6; ++round) {
      twins.Change(round, folder == 0 && round == 0 ? 700 : 0);
      if (round == 4) twins.Remove("notes.ndx");  // a lost index rebuilds alike
      const std::vector<std::u16string> queries = RandomQueries(rng);
      OldWindow oldWindow(queries);
      FastWindow fastWindow(queries);
      reference::Refresh(Env::Default(), twins.old_.folder(), oldWindow);
      Refresh(Env::Default(), twins.fast_.folder(), fastWindow);
      ASSERT_EQ(twins.Notes(twins.old_), twins.Notes(twins.fast_)) << "folder " << folder << " round " << round;
      ASSERT_EQ(twins.IndexBytes(twins.old_), twins.IndexBytes(twins.fast_))
          << "folder " << folder << " round " << round;
      ASSERT_EQ(oldWindow.shown, fastWindow.shown) << "folder " << folder << " round " << round;
      for (std::size_t q = 0; q < queries.size(); ++q) {
        found += fastWindow.shown.counts[q];
        if (queries[q].find_first_of(u"кКДЯ") != std::u16string::npos) cyrillicFound += fastWindow.shown.counts[q];
      }
    }
  }
  EXPECT_GT(found, 1000);
  EXPECT_GT(cyrillicFound, 10);
  SetUserLowerCase(false);
  SetAnsiCodePage(1252);
}

// Folders that change under a refresh: both codes see the same listing and
// the same files, so they leave the same folder and index file. A
// time-named note emptied by its editor between the listing and its read;
// a listing that breaks off after its first note, with two notes recorded.
TEST(Differential, RefreshesOfAFolderChangingUnderThemMatchTheOldCode) {
  const std::vector<std::u16string> queries = {u"milk"};
  const auto run = [&](const std::function<void(TwinFolders&, TestEnv&, const TempDir&)>& setUp) {
    std::mt19937 rng(1);
    TwinFolders twins(rng);
    TestEnv envs[2];
    setUp(twins, envs[0], twins.old_);
    setUp(twins, envs[1], twins.fast_);
    OldWindow oldWindow(queries);
    FastWindow fastWindow(queries);
    reference::Refresh(envs[0], twins.old_.folder(), oldWindow);
    Refresh(envs[1], twins.fast_.folder(), fastWindow);
    EXPECT_EQ(twins.Notes(twins.old_), twins.Notes(twins.fast_));
    EXPECT_EQ(twins.IndexBytes(twins.old_), twins.IndexBytes(twins.fast_));
    EXPECT_EQ(oldWindow.shown, fastWindow.shown);
  };
  run([](TwinFolders& twins, TestEnv& env, const TempDir& dir) {
    twins.Write("note-2024.01.05-09.00.00.txt", "milk tea", kBaseTime - 600);
    const fs::path path = dir.path() / "note-2024.01.05-09.00.00.txt";
    env.afterFindNotes = [path] { std::ofstream(path, std::ios::trunc); };
  });
  run([](TwinFolders& twins, TestEnv& env, const TempDir& dir) {
    twins.Write("a.txt", "milk", kBaseTime - 600);
    twins.Write("b.txt", "milk tea", kBaseTime - 600);
    RecordingWindow ignored;
    Refresh(env, dir.folder(), ignored);
    env.listingBreaksAfter = 1;
  });
}

}  // namespace
