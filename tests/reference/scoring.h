#pragma once
// Ranking of notes for a search query, without any window.
//
// Each token of the query (maximal runs of characters other than U+0020,
// after lower-casing) gives 100 points to every note having the token as a
// word, and 10 points per index word that contains the token (a word equal
// to the token included). A token that occurs twice counts twice. Notes are
// ranked by score, highest first; equal scores keep the walk order of the
// score map, so the same query over the same index always ranks alike.

#include <string>
#include <vector>

#include "tests/reference/word_index.h"

namespace reference {

// How many notes the search window lists at most.
inline constexpr int kMaxListedNotes = 20;

struct RankedNotes {
  std::vector<std::u16string> names;  // best first, at most kMaxListedNotes
  std::vector<int> scores;            // the score of each of names
  int count = 0;                      // every note that scored, listed or not
};

// Scores the notes of index for query, lower-casing it with
// LowerCaseInPlace. Reads index only. Exhausted memory throws
// CMemoryException.
RankedNotes RankNotes(std::u16string query, const WordIndex& index);

}  // namespace reference
