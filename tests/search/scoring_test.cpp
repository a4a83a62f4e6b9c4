#include "search/scoring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/text/lower_case.h"

namespace {

using Names = std::vector<std::u16string>;
using Scores = std::vector<int>;

class Scoring : public ::testing::Test {
 protected:
  // Records that note holds word (already lower-case, as the index keeps it).
  void Add(const std::u16string& word, const std::u16string& note) {
    const WordIndex::Id id = index.InsertWord(word);
    index.AddNote(index.InternNote(note), std::span(&id, 1));
  }

  WordIndex index;
};

TEST_F(Scoring, WholeWordsOutrankWordsThatOnlyContainTheToken) {
  Add(u"cat", u"A.txt");
  Add(u"cats", u"B.txt");
  Add(u"concatenate", u"B.txt");
  Add(u"dog", u"C.txt");

  RankedNotes ranked = RankNotes(u"Cat", index);
  EXPECT_EQ(ranked.names, (Names{u"A.txt", u"B.txt"}));
  EXPECT_EQ(ranked.scores, (Scores{110, 20}));
  EXPECT_EQ(ranked.count, 2);

  // A token scored twice doubles every score and keeps the order.
  ranked = RankNotes(u"cat cat", index);
  EXPECT_EQ(ranked.names, (Names{u"A.txt", u"B.txt"}));
  EXPECT_EQ(ranked.scores, (Scores{220, 40}));
}

TEST_F(Scoring, APartOfAWordScoresTenPerContainingWord) {
  Add(u"cat", u"N.txt");
  Add(u"cab", u"N.txt");
  Add(u"scan", u"O.txt");

  const RankedNotes ranked = RankNotes(u"ca", index);
  EXPECT_EQ(ranked.names, (Names{u"N.txt", u"O.txt"}));
  EXPECT_EQ(ranked.scores, (Scores{20, 10}));
}

// The substring pass finds each containing word once however often the
// token is in it, in neighbouring words and after long gaps alike, and never
// across the end of one word into the next.
TEST_F(Scoring, EachContainingWordCountsOnceWhereverItLies) {
  for (int i = 0; i < 256; ++i) {  // words of a to p only
    const std::u16string n(1, static_cast<char16_t>(u'a' + i % 16));
    Add(u"w" + n + n + std::u16string(1, static_cast<char16_t>(u'a' + i / 16)), u"filler.txt");
  }
  Add(u"qxq", u"A.txt");  // contains "q" twice
  Add(u"xqx", u"A.txt");
  Add(u"q", u"B.txt");
  Add(u"zq", u"C.txt");
  Add(u"qz", u"D.txt");

  RankedNotes ranked = RankNotes(u"q", index, 100);
  std::vector<std::pair<std::u16string, int>> got;
  for (std::size_t i = 0; i < ranked.names.size(); ++i) got.emplace_back(ranked.names[i], ranked.scores[i]);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::pair<std::u16string, int>>{
                     {u"A.txt", 20}, {u"B.txt", 110}, {u"C.txt", 10}, {u"D.txt", 10}}));
  // "zq" ends a word and "qz" starts one: "qq" spans no word.
  EXPECT_EQ(RankNotes(u"qq", index).count, 0);
  EXPECT_EQ(RankNotes(u"xqxq", index).count, 0);
}

TEST_F(Scoring, OnlyTheSpaceSeparatesTokens) {
  Add(u"cat", u"A.txt");
  Add(u"dog", u"B.txt");
  Add(u"dog", u"A.txt");

  const RankedNotes plain = RankNotes(u"cat dog", index);
  EXPECT_EQ(plain.scores, (Scores{220, 110}));
  const RankedNotes spaced = RankNotes(u"  cat   dog  ", index);
  EXPECT_EQ(spaced.names, plain.names);
  EXPECT_EQ(spaced.scores, plain.scores);

  // Punctuation and tabs belong to the token, which then matches nothing.
  for (const char16_t* query : {u"cat,", u"cat\tdog", u"", u"    "}) {
    const RankedNotes none = RankNotes(query, index);
    EXPECT_TRUE(none.names.empty());
    EXPECT_EQ(none.count, 0);
  }
}

TEST_F(Scoring, ListsAtMostTwentyButCountsThemAll) {
  for (int i = 0; i < 21; ++i) Add(u"cat", std::u16string{u'n', char16_t(u'A' + i)});

  RankedNotes ranked = RankNotes(u"cat", index);
  EXPECT_EQ(ranked.names.size(), 20u);
  EXPECT_EQ(ranked.count, 21);

  std::vector<bool> gone(index.NoteCount());
  gone[index.FindNote(u"nA")] = true;
  index.RemoveNotes(gone);
  ranked = RankNotes(u"cat", index);
  EXPECT_EQ(ranked.names.size(), 20u);
  EXPECT_EQ(ranked.count, 20);
}

TEST_F(Scoring, EqualScoresFollowTheScoreMapWalk) {
  // Buckets of one-letter names: f 0, a and r 12, b 13. A name entering a
  // bucket goes to the head of its chain; the note set of "cat" walks
  // f, r, a, b, so the scores enter f, r, a, b and walk f, a, r, b.
  for (const char16_t* note : {u"a", u"r", u"b", u"f"}) Add(u"cat", note);

  for (int run = 0; run < 2; ++run) {
    const RankedNotes ranked = RankNotes(u"cat", index);
    EXPECT_EQ(ranked.names, (Names{u"f", u"a", u"r", u"b"}));
  }
}

TEST_F(Scoring, EmptyIndexMatchesNothing) {
  const RankedNotes ranked = RankNotes(u"cat", index);
  EXPECT_TRUE(ranked.names.empty());
  EXPECT_EQ(ranked.count, 0);
}

TEST_F(Scoring, CyrillicQueryMeetsLowerCasedWordsInTheUserMode) {
  const bool before = UserLowerCase();
  Add(u"кот", u"A.txt");
  SetUserLowerCase(true);
  EXPECT_EQ(RankNotes(u"КОТ", index).names, (Names{u"A.txt"}));
  SetUserLowerCase(false);
  EXPECT_TRUE(RankNotes(u"КОТ", index).names.empty());
  SetUserLowerCase(before);
}

}  // namespace
