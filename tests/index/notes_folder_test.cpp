// Which entries are notes and the order they are read in, decided once for
// every system: the listing comes from an Env that hands out entries in
// whatever order a file system might, so these run alike on Linux and
// Windows. The length rule is asked of the real system.

#include "index/notes_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/text/file_names.h"
#include "platform/text/lower_case.h"
#include "tests/support/test_env.h"

namespace {

// Lists the given names, in the given order, as regular files of any
// folder; IsFile knows only them.
class ListingEnv : public TestEnv {
 public:
  std::vector<std::u16string> files;
  std::vector<std::u16string> asked;  // every name shown to wanted

  bool ListFiles(const std::u16string& folder,
                 const std::function<bool(const std::u16string& name)>& wanted,
                 const std::function<void(NoteEntry entry)>& found) override {
    for (const std::u16string& name : files) {
      asked.push_back(name);
      if (wanted(name)) found({name, folder + name, name.size(), 1704447000});
    }
    return true;
  }
  bool IsFile(const std::u16string& path) override {
    return std::any_of(files.begin(), files.end(),
                       [&](const std::u16string& name) { return u"f/" + name == path; });
  }
};

std::vector<std::u16string> Names(const std::vector<NoteEntry>& notes) {
  std::vector<std::u16string> names;
  for (const NoteEntry& note : notes) names.push_back(note.name);
  return names;
}

TEST(NotesFolder, TakesTxtNamesInAnyCaseWithoutAColon) {
  for (const std::u16string name : {u"a.txt", u"A.TXT", u"b.Txt", u".txt", u"Заметка.txt"}) {
    EXPECT_TRUE(IsNoteName(name));
  }
  for (const std::u16string name :
       {u"a:b.txt", u"a.text", u"a.txt.bak", u"txt", u"a.tx", u"notes.ndx", u""}) {
    EXPECT_FALSE(IsNoteName(name));
  }
}

TEST(NotesFolder, ListsNotesInTheWindowsOrderWhateverOrderTheSystemGives) {
  // Code-unit order would give A [ _ a b; upper-casing puts '[' and '_'
  // after every letter. U+1F600 is a surrogate pair (D83D DE00), which
  // sorts before U+FF5A; ё (U+0451) is upper-cased to Ё (U+0401), before Ж.
  const std::vector<std::u16string> expected = {
      u"A.txt", u"a.txt", u"b.txt", u"c.TXT", u"[.txt", u"_x.txt",
      u"Ё.txt", u"ё.txt", u"Ж.txt", u"Я.txt", u"я.txt", u"😀.txt", u"ｚ.txt"};
  ListingEnv env;
  env.files = expected;
  env.files.insert(env.files.begin() + 3, {u"notes.ndx", u"a:b.txt", u"x.text"});
  std::reverse(env.files.begin(), env.files.end());
  const std::vector<NoteEntry> notes = FindNotes(env, u"f/");
  EXPECT_EQ(Names(notes), expected);
  EXPECT_EQ(env.asked.size(), env.files.size()) << "every name is judged by the core";
  ASSERT_FALSE(notes.empty());
  EXPECT_EQ(notes[0].path, u"f/A.txt");
  EXPECT_EQ(notes[0].length, 5u);

  std::rotate(env.files.begin(), env.files.begin() + 5, env.files.end());
  EXPECT_EQ(Names(FindNotes(env, u"f/")), expected);
}

// Names alike in their first units, in case only, or beyond the Basic
// Latin letters come out as the plain comparison of upper-cased names
// (then of the names) orders them.
TEST(NotesFolder, LongSharedBeginningsAndMixedScriptsKeepTheOrder) {
  const std::vector<std::u16string> parts = {u"a", u"A", u"b", u"_", u"[", u"ё", u"Ё", u"ж",
                                             u"😀", u"ｚ", u"1", u" ", u"ß", u"ǅ",
                                             u"z", u"Z", u"@", u"`", u"{"};
  std::mt19937 rng(5);
  std::uniform_int_distribution<std::size_t> pick(0, parts.size() - 1);
  std::uniform_int_distribution<int> length(0, 12);
  ListingEnv env;
  std::set<std::u16string> names;
  while (names.size() < 3000) {
    std::u16string name = names.size() % 3 == 0 ? u"Shared beginning " : u"";
    for (int n = length(rng); n > 0; --n) name += parts[pick(rng)];
    name += names.size() % 5 == 0 ? u".TXT" : u".txt";
    names.insert(name);
  }
  env.files.assign(names.begin(), names.end());
  std::shuffle(env.files.begin(), env.files.end(), rng);

  std::vector<std::u16string> expected = env.files;
  std::sort(expected.begin(), expected.end(), [](const std::u16string& a, const std::u16string& b) {
    const std::u16string upperA = UpperCaseUnits(a);
    const std::u16string upperB = UpperCaseUnits(b);
    return upperA != upperB ? upperA < upperB : a < b;
  });
  EXPECT_EQ(Names(FindNotes(env, u"f/")), expected);
}

// Units whose upper case lies in another block of 256 (ÿ, Cherokee small
// letters, ſ), surrogates and a zero unit.
const std::u16string kUnits =
    std::u16string(u"aAzZ_[`{ ßÿŸſsSǅǆǄёЁяЯ\xAB70\x13A0\x13F8ｚＺ\xD83D\xDE00\xDBFF\xDFFF\xFFFF") + u'\0';

// At least count note names of kUnits, each begun by the next of
// beginnings, each beside three names its units alone would order wrongly
// against it: its upper-cased form, and two longer ones (the upper-cased
// one, and one with a smaller last unit that goes on). In random order.
std::vector<std::u16string> RandomNames(const std::vector<std::u16string>& beginnings, std::size_t count,
                                        std::mt19937& rng) {
  std::uniform_int_distribution<std::size_t> pick(0, kUnits.size() - 1);
  std::uniform_int_distribution<int> length(0, 11);
  std::set<std::u16string> names;
  for (std::size_t i = 0; names.size() < count; ++i) {
    std::u16string name = beginnings[i % beginnings.size()];
    for (int n = length(rng); n > 0; --n) name += kUnits[pick(rng)];
    name += i % 3 == 0 ? u".TXT" : u".txt";
    names.insert({name, UpperCaseUnits(name), UpperCaseUnits(name) + u"_.txt",
                  name.substr(0, name.size() - 1) + u"a.txt"});
  }
  std::vector<std::u16string> shuffled(names.begin(), names.end());
  std::shuffle(shuffled.begin(), shuffled.end(), rng);
  return shuffled;
}

// names by their whole upper-cased forms, then by themselves.
std::vector<std::u16string> PlainOrder(const std::vector<std::u16string>& names) {
  std::vector<std::pair<std::u16string, std::u16string>> keyed;
  for (const std::u16string& name : names) keyed.emplace_back(UpperCaseUnits(name), name);
  std::sort(keyed.begin(), keyed.end());
  std::vector<std::u16string> ordered;
  for (const auto& [upper, name] : keyed) ordered.push_back(name);
  return ordered;
}

TEST(NotesFolder, UnitsOfEveryKindOrderAsTheirWholeUpperCasedNames) {
  std::mt19937 rng(11);
  ListingEnv env;
  // Half the names begin with eight units that upper-case alike.
  env.files = RandomNames({u"", u"ÿÿ\xAB70ſſſSs", u"", u"ŸŸ\x13A0SsSſs", u"", u"ÿŸ\xAB70sSſSS"}, 6000, rng);
  const std::vector<NoteEntry> notes = FindNotes(env, u"f/");
  EXPECT_EQ(Names(notes), PlainOrder(env.files));
  for (const NoteEntry& note : notes) ASSERT_EQ(note.path, u"f/" + note.name);
}

// A large folder is ordered by counting, not comparing: the same order,
// whether the names differ from their first unit on or all begin alike.
TEST(NotesFolder, ALargeFolderKeepsTheOrder) {
  std::mt19937 rng(13);
  for (const std::u16string beginning : {u"", u"Ss"}) {
    ListingEnv env;
    env.files = RandomNames({beginning}, 40000, rng);
    ASSERT_EQ(Names(FindNotes(env, u"f/")), PlainOrder(env.files)) << beginning.size();
  }
}

// The listing that finds the notes also says whether a killed run left a
// temporary index file, so that the folder need not be listed twice.
TEST(NotesFolder, TellsWhetherTheListingMetATemporaryIndexName) {
  for (const std::u16string name : {u"notes.ndx.~k1LLed", u"notes.ndx.~000000", u"notes.ndx.~ZZZZZZ"}) {
    EXPECT_TRUE(IsTempIndexName(name)) << std::string(name.begin(), name.end());
  }
  for (const std::u16string name : {u"notes.ndx", u"notes.ndx.~", u"notes.ndx.~k1LLe", u"notes.ndx.~k1LLed0",
                                    u"notes.ndx.~k1-Led", u"NOTES.NDX.~k1LLed", u"notes.ndx.~k1LLé",
                                    u"xnotes.ndx.~k1LLe", u"notes.ndx.bak", u"notes.ndx.backup",
                                    u"notes.ndx.241210"}) {
    EXPECT_FALSE(IsTempIndexName(name)) << std::string(name.begin(), name.end());
  }
  ListingEnv env;
  env.files = {u"a.txt", u"notes.ndx", u"notes.ndx.bak", u"b.txt"};
  ListingFacts facts{true, true};
  EXPECT_EQ(Names(FindNotes(env, u"f/", {}, &facts)), (std::vector<std::u16string>{u"a.txt", u"b.txt"}));
  EXPECT_FALSE(facts.tempIndexSeen);
  env.files.push_back(u"notes.ndx.~k1LLed");
  env.files.push_back(u"c.txt");
  EXPECT_EQ(Names(FindNotes(env, u"f/", {}, &facts)).size(), 3u);
  EXPECT_TRUE(facts.tempIndexSeen);
}

TEST(NotesFolder, ReportsHowManyNotesWereFoundWhileListing) {
  ListingEnv env;
  for (int i = 0; i < 600; ++i) {
    // Built by appending: GCC 12 at -O3 wrongly warns about "literal" + string.
    std::u16string number = FromNativeName(std::to_string(i));
    std::u16string note = u"n";
    note += number;
    note += u".txt";
    std::u16string other = u"skip";
    other += number;
    env.files.push_back(note);
    env.files.push_back(other);
  }
  std::vector<std::size_t> listed;
  EXPECT_EQ(FindNotes(env, u"f/", [&](std::size_t n) { listed.push_back(n); }).size(), 600u);
  EXPECT_EQ(listed, (std::vector<std::size_t>{256, 512}));
}

TEST(NotesFolder, ANoteToOpenIsAFileWithANoteNameDirectlyInTheFolder) {
  ListingEnv env;
  env.files = {u"a.txt", u"readme.md", u"..", u"a.txt\0x.txt"};
  EXPECT_TRUE(IsNote(env, u"f/", u"a.txt"));
  EXPECT_FALSE(IsNote(env, u"f/", u"b.txt")) << "no such file";
  EXPECT_FALSE(IsNote(env, u"f/", u"readme.md"));
  EXPECT_FALSE(IsNote(env, u"f/", std::u16string(u"a.txt\0x.txt", 11)));
  for (const char16_t separator : kPathSeparators) {
    std::u16string outside = u"..";
    outside += separator;
    outside += u"f";
    outside += separator;
    outside += u"a.txt";
    EXPECT_FALSE(IsNote(env, u"f/", outside)) << "reaches outside through a separator";
  }
}

// Both systems keep new names within 255 bytes of UTF-8, so a folder
// shared between them keeps every name and renames alike. The root is
// short enough for Windows' limit on a whole path.
TEST(NotesFolder, TheSystemSaysWhichNameLengthsFit) {
  Env& env = Env::Default();
  const std::u16string folder = u"/";
  EXPECT_TRUE(env.NameFits(folder, std::u16string(251, u'a') + u".txt"));
  EXPECT_FALSE(env.NameFits(folder, std::u16string(252, u'a') + u".txt"));
  EXPECT_TRUE(env.NameFits(folder, std::u16string(125, u'я') + u".txt"));  // 254 bytes
  EXPECT_FALSE(env.NameFits(folder, std::u16string(126, u'я') + u".txt"));
}

}  // namespace
