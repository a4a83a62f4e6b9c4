#include "tests/reference/scoring.h"

#include <algorithm>

#include "platform/text/lower_case.h"
#include "platform/framework/string_array.h"
#include "search/xmap.h"

namespace reference {

namespace {

constexpr int kWordPoints = 100;       // the token is one of the note's words
constexpr int kSubstringPoints = 10;  // per word of the note containing the token

using ScoreMap = CMap<int>;

void AddPoints(const NoteSet& notes, int points, ScoreMap& scores) {
  for (const auto* note = notes.FirstEntry(); note; note = notes.NextEntry(note)) {
    scores[note->key] += points;
  }
}

void ScoreToken(const std::u16string& token, const WordIndex& index, ScoreMap& scores) {
  // Exact pass first, then the substring pass: the order in which names
  // first enter the score map decides the order of equal scores.
  if (const auto* word = index.FindEntry(token); word && word->value) {
    AddPoints(*word->value, kWordPoints, scores);
  }
  for (const auto* word = index.FirstEntry(); word; word = index.NextEntry(word)) {
    if (word->value && word->key.find(token) != std::u16string::npos) {
      AddPoints(*word->value, kSubstringPoints, scores);
    }
  }
}

}  // namespace

RankedNotes RankNotes(std::u16string query, const WordIndex& index) {
  LowerCaseInPlace(query);

  ScoreMap scores(10);
  std::size_t pos = 0;
  for (;;) {
    pos = query.find_first_not_of(u' ', pos);
    if (pos == std::u16string::npos) break;
    const std::size_t end = std::min(query.find(u' ', pos), query.size());
    ScoreToken(query.substr(pos, end - pos), index, scores);
    pos = end;
  }

  // Keyed by the negated score, the groups walk from the best score down.
  CxMap<int, CStringArray> groups;
  for (const auto* entry = scores.FirstEntry(); entry; entry = scores.NextEntry(entry)) {
    if (entry->value > 0) groups.FindOrInsert(-entry->value, false)->value.Add(entry->key);
  }

  RankedNotes ranked;
  for (const auto* group = groups.GetHead(); group; group = group->pNext) {
    for (int i = 0; i < group->value.GetSize(); ++i) {
      if (ranked.count < kMaxListedNotes) {
        ranked.names.push_back(group->value.GetAt(i));
        ranked.scores.push_back(-group->key);
      }
      ++ranked.count;
    }
  }
  return ranked;
}

}  // namespace reference
