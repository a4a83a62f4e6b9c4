#include "search/scoring.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <span>

#include "platform/text/lower_case.h"
#include "search/find_token.h"

namespace {

constexpr int kWordPoints = 100;       // the token is one of the note's words
constexpr int kSubstringPoints = 10;  // per word of the note containing the token

using Id = WordIndex::Id;

// Scores by note id. A note's first points make it "touched"; the order of
// first touches stands in for the order in which a chained score map would
// have received its notes, which decides the order of equal scores.
class Scores {
 public:
  explicit Scores(std::size_t notes) : m_points(notes, 0), m_touch(notes, 0) {}

  void Add(std::span<const Id> notes, int points) {
    for (const Id note : notes) {
      if (m_points[note] == 0) {
        m_touch[note] = static_cast<std::uint32_t>(m_touched.size());
        m_touched.push_back(note);
      }
      m_points[note] += points;
    }
  }

  std::int64_t Points(Id note) const { return m_points[note]; }
  std::uint32_t Touch(Id note) const { return m_touch[note]; }
  std::vector<Id>& Touched() { return m_touched; }

 private:
  std::vector<std::int64_t> m_points;
  std::vector<std::uint32_t> m_touch;
  std::vector<Id> m_touched;
};

void ScoreToken(std::u16string_view token, const WordIndex& index, Scores& scores) {
  const WordIndex::WalkOrder& walk = index.Walk();
  // Exact pass first, then the substring pass: the order in which notes are
  // first touched decides the order of equal scores. A word holds no NUL, so
  // the exact pass looks up the token up to its first NUL, as a lookup of a
  // NUL-terminated key did.
  const std::u16string_view exact = token.substr(0, token.find(u'\0'));
  if (const Id word = index.FindWord(exact); word != WordIndex::kNone) {
    scores.Add(walk.NotesAt(walk.position[word]), kWordPoints);
  }
  if (token.find(u'\0') != std::u16string_view::npos) return;
  // The words lie in walk order in one text, each ended by a NUL, so one
  // search runs over all of them; each word counts once.
  // Hits come in text order, so the word of each is found by galloping on
  // from the word of the previous one: a letter found in most words costs a
  // step per word, not a binary search over all of them.
  const std::u16string_view text = walk.Text();
  const std::span<const std::uint32_t> begins = walk.textBegin;
  std::size_t at = 0;  // begins[at] <= every hit still to come
  for (std::size_t pos = FindToken(text, token, 0); pos != std::u16string_view::npos;) {
    std::size_t step = 1;
    std::size_t low = at;  // begins[low] <= pos
    while (low + step < begins.size() && begins[low + step] <= pos) {
      low += step;
      step *= 2;
    }
    const auto high = begins.begin() + static_cast<std::ptrdiff_t>(std::min(low + step, begins.size()));
    at = static_cast<std::size_t>(std::upper_bound(begins.begin() + static_cast<std::ptrdiff_t>(low), high, pos) -
                                  begins.begin()) - 1;
    scores.Add(walk.NotesAt(at), kSubstringPoints);
    ++at;
    pos = FindToken(text, token, begins[at]);
  }
}

}  // namespace

RankedNotes RankNotes(std::u16string query, const WordIndex& index, int limit) {
  LowerCaseInPlace(query);

  Scores scores(index.NoteCount());
  std::size_t pos = 0;
  for (;;) {
    pos = query.find_first_not_of(u' ', pos);
    if (pos == std::u16string::npos) break;
    const std::size_t end = std::min(query.find(u' ', pos), query.size());
    ScoreToken(std::u16string_view(query).substr(pos, end - pos), index, scores);
    pos = end;
  }

  // Highest score first; equal scores in the walk order of a chained score
  // map: buckets of the name ascending, the latest touched first.
  std::vector<Id>& touched = scores.Touched();
  const auto better = [&](Id a, Id b) {
    if (scores.Points(a) != scores.Points(b)) return scores.Points(a) > scores.Points(b);
    if (index.NoteBucket(a) != index.NoteBucket(b)) return index.NoteBucket(a) < index.NoteBucket(b);
    return scores.Touch(a) > scores.Touch(b);
  };
  const std::size_t listed = std::min<std::size_t>(touched.size(), static_cast<std::size_t>(std::max(limit, 0)));
  std::partial_sort(touched.begin(), touched.begin() + static_cast<std::ptrdiff_t>(listed),
                    touched.end(), better);

  RankedNotes ranked;
  for (std::size_t i = 0; i < listed; ++i) {
    ranked.names.emplace_back(index.NoteName(touched[i]));
    ranked.scores.push_back(static_cast<int>(std::min<std::int64_t>(scores.Points(touched[i]), INT_MAX)));
  }
  ranked.count = static_cast<int>(touched.size());
  return ranked;
}
