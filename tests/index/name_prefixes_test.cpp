// Names found by their beginnings against cutting and FindNote of each, the way a
// load found them before.

#include "index/name_prefixes.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "index/list_names.h"
#include "index/strong_hash.h"
#include "index/word_index.h"
#include "tests/support/cut_list.h"

namespace {

// The ids of the names of list as the load finds them: cut, then by the
// table.
std::vector<WordIndex::Id> ByPrefixes(std::u16string_view list, const NamePrefixes& prefixes, const WordIndex& words) {
  std::vector<std::u16string_view> names;
  ForEachListName(list, [&](const char16_t* name, std::size_t length) { names.emplace_back(name, length); });
  std::vector<WordIndex::Id> ids(names.size(), 12345);
  prefixes.FindNames(names, words, ids.data());
  return ids;
}

// The same as the load found them before: cut, then looked up whole.
std::vector<WordIndex::Id> ByWholeName(std::u16string_view list, const WordIndex& words) {
  std::vector<std::u16string_view> names;
  std::vector<std::uint64_t> strong;
  CutList(list, names, strong);
  std::vector<WordIndex::Id> ids;
  for (const std::u16string_view name : names) ids.push_back(words.FindNote(name));
  return ids;
}

// Random lists of names that are interned and names that are not, against
// cutting and FindNote: names sharing their first eight units (with the
// same length and with others), shorter than eight units, of exactly eight,
// longer than the table's 16-bit lengths, holding ':' or NUL (as a crafted
// file may intern them), and pieces that differ from an interned name by
// one unit anywhere or by one unit more or less; empty pieces, "::",
// leading and trailing ':', names repeated, a NUL in the middle of a name.
// Each list lies in memory of its exact size, so a read past it is caught
// under the address sanitizer.
TEST(NamePrefixesTest, FindsWhatCuttingAndFindNoteFind) {
  std::mt19937 rng(17);
  auto pick = [&rng](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
  std::vector<std::u16string> interned;
  for (int i = 0; i < 400; ++i) {
    std::u16string name = i % 3 == 0 ? u"shared b" : i % 3 == 1 ? u"note " : u"";
    for (std::size_t n = pick(i % 20 == 0 ? 80 : 16); n > 0; --n) name += u"abя7 .:"[pick(i % 7 == 0 ? 7 : 6)];
    if (i % 50 == 0) name.insert(pick(name.size() + 1), 1, u'\0');
    interned.push_back(name);
  }
  interned.push_back(std::u16string(0xFFFF, u'l'));
  interned.push_back(std::u16string(0x10000, u'l'));
  WordIndex words;
  for (const std::u16string& name : interned) words.InternNote(name);
  NamePrefixes prefixes;
  prefixes.Build(words);

  for (int round = 0; round < 4000; ++round) {
    std::u16string text(pick(3), u':');
    for (std::size_t pieces = pick(round % 10 == 0 ? 60 : 8); pieces > 0; --pieces) {
      std::u16string piece = interned[pick(interned.size() - (round % 100 == 0 ? 0 : 2))];
      switch (pick(6)) {
        case 0:
          if (!piece.empty()) piece[pick(piece.size())] ^= 1;
          break;
        case 1:
          piece += u'a';
          break;
        case 2:
          if (!piece.empty()) piece.pop_back();
          break;
        default:
          break;
      }
      text += piece;
      text.append(pick(4) == 0 ? pick(3) : 1, u':');
    }
    if (!text.empty() && pick(6) == 0) text.back() = u'\0';
    if (!text.empty() && pick(10) == 0) text[pick(text.size())] = u'\0';
    if (!text.empty() && pick(2) == 0) text.pop_back();
    const std::unique_ptr<char16_t[]> exact(new char16_t[text.size()]);
    std::copy(text.begin(), text.end(), exact.get());
    const std::u16string_view list(exact.get(), text.size());

    EXPECT_EQ(ByPrefixes(list, prefixes, words), ByWholeName(list, words)) << "round " << round;
    if (HasFailure()) break;
  }
}

// A table not built, or built over no names, finds every name by FindNote;
// building again takes the names interned since.
TEST(NamePrefixesTest, NamesTheTableDoesNotHoldAreStillFound) {
  WordIndex words;
  const std::u16string list = u"first note.txt:second note.txt:short:first note.txt";
  NamePrefixes unbuilt;
  NamePrefixes built;
  built.Build(words);
  EXPECT_EQ(ByPrefixes(list, unbuilt, words), ByWholeName(list, words));
  EXPECT_EQ(ByPrefixes(list, built, words), ByWholeName(list, words));

  words.InternNote(u"first note.txt");
  words.InternNote(u"second note.txt");
  words.InternNote(u"short");
  const std::vector<WordIndex::Id> expected = {0, 1, 2, 0};
  EXPECT_EQ(ByPrefixes(list, unbuilt, words), expected);
  EXPECT_EQ(ByPrefixes(list, built, words), expected);
  built.Build(words);
  EXPECT_EQ(ByPrefixes(list, built, words), expected);
}

}  // namespace
