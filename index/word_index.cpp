#include "index/word_index.h"

#include <algorithm>
#include <array>
#include <new>

#include "index/strong_hash.h"
#include "platform/ansi_text.h"
#include "platform/lower_case.h"

namespace {

constexpr std::uint32_t kBuckets = 17;

// Makes room for one more element, growing geometrically, so that the
// push_back that follows cannot fail.
template <class T>
void ReserveOneMore(std::vector<T>& v) {
  if (v.size() == v.capacity()) v.reserve(2 * v.size() + 16);
}

// Places each note of set into out in walk order: buckets ascending, the
// most recently added first within a bucket.
void WalkSet(std::span<const WordIndex::Id> set, const WordIndex& index, WordIndex::Id* out) {
  std::array<std::size_t, kBuckets + 1> begin{};
  for (const WordIndex::Id note : set) ++begin[index.NoteBucket(note) + 1];
  for (std::uint32_t b = 0; b < kBuckets; ++b) begin[b + 1] += begin[b];
  for (auto it = set.rbegin(); it != set.rend(); ++it) out[begin[index.NoteBucket(*it)]++] = *it;
}

}  // namespace

std::uint32_t WalkHash(std::u16string_view key) {
  std::uint32_t h = 0;
  for (const char16_t c : key) h = h * 33 + static_cast<std::uint16_t>(c);
  return h;
}

WordIndex::Id WordIndex::FindNote(std::u16string_view name) const {
  return m_noteLookup.Find(StrongHash(name), [&](Id id) { return NoteName(id) == name; });
}

WordIndex::Id WordIndex::InternNote(std::u16string_view name) {
  const std::uint64_t strong = StrongHash(name);
  const Id found = m_noteLookup.Find(strong, [&](Id id) { return NoteName(id) == name; });
  if (found != kNone) return found;
  if (name.size() > 0xFFFFFFFF) throw std::bad_alloc();
  m_noteLookup.Reserve(m_notes.size() + 1);
  if (m_noteWordsBuilt) ReserveOneMore(m_noteWords);
  ReserveOneMore(m_notes);
  if (m_noteText.capacity() - m_noteText.size() < name.size()) {
    m_noteText.reserve(std::max(2 * m_noteText.capacity(), m_noteText.size() + name.size()));
  }
  m_notes.push_back(NoteRecord{m_noteText.size(), static_cast<std::uint32_t>(name.size()),
                               WalkHash(name) % kBuckets});
  m_noteText.append(name);
  if (m_noteWordsBuilt) m_noteWords.emplace_back();
  const auto id = static_cast<Id>(m_notes.size() - 1);
  m_noteLookup.Insert(strong, id);
  return id;
}

WordIndex::Id WordIndex::FindWord(std::u16string_view word) const {
  return m_wordLookup.Find(StrongHash(word), [&](Id id) { return m_words[id].text == word; });
}

WordIndex::Id WordIndex::InsertWord(std::u16string_view word) {
  return InsertWord(word, StrongHash(word));
}

WordIndex::Id WordIndex::InsertWord(std::u16string_view word, std::uint64_t strong) {
  const Id found = m_wordLookup.Find(strong, [&](Id id) { return m_words[id].text == word; });
  if (found != kNone) return found;
  const std::uint32_t bucket = WalkHash(word) % kBuckets;
  m_wordLookup.Reserve(m_words.size() + 1);
  ReserveOneMore(m_bucketWords[bucket]);
  ReserveOneMore(m_wordMark);
  m_words.push_back(WordRecord{std::u16string(word), strong, bucket, {}});
  const auto id = static_cast<Id>(m_words.size() - 1);
  m_bucketWords[bucket].push_back(id);
  m_wordMark.push_back(0);
  m_wordLookup.Insert(strong, id);
  Changed();
  return id;
}

void WordIndex::BuildNoteWords() {
  std::vector<std::vector<Id>> noteWords(m_notes.size());
  for (Id word = 0; word < m_words.size(); ++word) {
    for (const Id note : m_words[word].notes) noteWords[note].push_back(word);
  }
  m_noteWords = std::move(noteWords);
  m_noteWordsBuilt = true;
}

void WordIndex::AddNote(Id note, std::span<const Id> words) {
  Changed();
  if (++m_markEpoch == 0) {
    std::fill(m_wordMark.begin(), m_wordMark.end(), 0);
    m_markEpoch = 1;
  }
  // A note already in some sets (a changed note, or a name reused) is marked
  // in them first; a new note needs no look at the sets at all.
  if (m_notes[note].sets > 0) {
    if (!m_noteWordsBuilt) BuildNoteWords();
    for (const Id word : m_noteWords[note]) m_wordMark[word] = m_markEpoch;
  }
  // The records of words a few ahead are fetched while this one is done:
  // most words of a note are far apart in memory.
  constexpr std::size_t kAhead = 8;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i + kAhead < words.size()) {
      __builtin_prefetch(&m_words[words[i + kAhead]]);
      __builtin_prefetch(&m_wordMark[words[i + kAhead]]);
    }
    const Id word = words[i];
    if (m_wordMark[word] == m_markEpoch) continue;
    if (m_noteWordsBuilt) ReserveOneMore(m_noteWords[note]);
    m_words[word].notes.push_back(note);
    if (m_noteWordsBuilt) m_noteWords[note].push_back(word);
    m_wordMark[word] = m_markEpoch;
    ++m_notes[note].sets;
  }
}

void WordIndex::RemoveNotes(const std::vector<bool>& gone) {
  auto isGone = [&gone](Id note) { return note < gone.size() && gone[note]; };
  for (WordRecord& word : m_words) std::erase_if(word.notes, isGone);
  for (Id note = 0; note < m_notes.size(); ++note) {
    if (!isGone(note)) continue;
    m_notes[note].sets = 0;
    if (m_noteWordsBuilt) m_noteWords[note].clear();
  }
  Changed();
}

void WordIndex::SetLoadedNotes(Id word, std::vector<Id>&& notes) {
  for (const Id note : m_words[word].notes) --m_notes[note].sets;
  for (const Id note : notes) ++m_notes[note].sets;
  m_words[word].notes = std::move(notes);
  m_noteWords.clear();
  m_noteWordsBuilt = false;
  Changed();
}

void WordIndex::ReverseWordInsertions() {
  for (std::vector<Id>& bucket : m_bucketWords) std::reverse(bucket.begin(), bucket.end());
  Changed();
}

const WordIndex::WalkOrder& WordIndex::Walk() const {
  if (m_walk) return *m_walk;
  auto walk = std::make_unique<WalkOrder>();
  std::size_t postings = 0;
  std::size_t letters = 0;
  for (const WordRecord& word : m_words) {
    postings += word.notes.size();
    letters += word.text.size() + 1;
  }
  walk->words.reserve(m_words.size());
  walk->notesBegin.reserve(m_words.size() + 1);
  walk->textBegin.reserve(m_words.size() + 1);
  walk->notes.resize(postings);
  walk->text.reserve(letters);
  walk->position.resize(m_words.size());
  walk->notesBegin.push_back(0);
  for (const std::vector<Id>& bucket : m_bucketWords) {
    for (auto it = bucket.rbegin(); it != bucket.rend(); ++it) {
      const WordRecord& word = m_words[*it];
      const std::size_t begin = walk->notesBegin.back();
      WalkSet(word.notes, *this, walk->notes.data() + begin);
      walk->notesBegin.push_back(begin + word.notes.size());
      walk->position[*it] = static_cast<std::uint32_t>(walk->words.size());
      walk->words.push_back(*it);
      walk->textBegin.push_back(walk->text.size());
      walk->text += word.text;
      walk->text += u'\0';
    }
  }
  walk->textBegin.push_back(walk->text.size());
  m_walk = std::move(walk);
  return *m_walk;
}

std::vector<WordIndex::Id> WordIndex::SaveOrder() const {
  std::vector<Id> order;
  for (const std::vector<Id>& bucket : m_bucketWords) {
    for (const Id word : bucket) {
      if (!m_words[word].notes.empty()) order.push_back(word);
    }
  }
  return order;
}

void AddWord(std::string_view wordBytes, const std::u16string& noteName, WordIndex& index) {
  std::u16string word = AnsiToWide(wordBytes);
  LowerCaseInPlace(word);
  const WordIndex::Id id = index.InsertWord(word);
  index.AddNote(index.InternNote(noteName), std::span(&id, 1));
}
