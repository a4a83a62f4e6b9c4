#include "index/word_index.h"

#include <algorithm>
#include <array>
#include <new>
#include <system_error>
#include <thread>

#include "index/strong_hash.h"
#include "platform/os/memory.h"
#include "platform/text/ansi_text.h"
#include "platform/text/lower_case.h"

namespace {

constexpr std::uint32_t kBuckets = WordIndex::kWalkBuckets;
// A walk of less work (notes sorted, units copied) is not worth a second
// thread.
constexpr std::size_t kWalkHelperWork = std::size_t{1} << 16;

// Makes room for one more element, growing geometrically, so that the
// push_back that follows cannot fail.
template <class T>
void ReserveOneMore(std::vector<T>& v) {
  if (v.size() == v.capacity()) v.reserve(2 * v.size() + 16);
}

// Reverses each run of one bucket in place: a set added in runs of
// ascending buckets becomes its walk, and its walk the order it was added
// in.
void ReverseRuns(std::span<WordIndex::Id> set, const WordIndex& index) {
  std::size_t run = 0;
  for (std::size_t i = 1; i <= set.size(); ++i) {
    if (i == set.size() || index.NoteBucket(set[i]) != index.NoteBucket(set[run])) {
      std::reverse(set.begin() + static_cast<std::ptrdiff_t>(run), set.begin() + static_cast<std::ptrdiff_t>(i));
      run = i;
    }
  }
}

// Places each note of set into out in walk order: buckets ascending, the
// most recently added first within a bucket.
void WalkSet(std::span<const WordIndex::Id> set, const WordIndex& index, WordIndex::Id* out) {
  // A set loaded from the index file was added in the walk order it was
  // saved in, buckets ascending: its runs of one bucket, reversed in place,
  // are its walk. Any other set is sorted by bucket, which overwrites all.
  std::size_t run = 0;
  std::uint32_t runBucket = 0;
  for (std::size_t i = 0; i <= set.size(); ++i) {
    const std::uint32_t bucket = i < set.size() ? index.NoteBucket(set[i]) : kBuckets;
    if (bucket == runBucket) continue;
    if (bucket < runBucket) break;
    std::reverse_copy(set.begin() + static_cast<std::ptrdiff_t>(run), set.begin() + static_cast<std::ptrdiff_t>(i),
                      out + run);
    if (i == set.size()) return;
    run = i;
    runBucket = bucket;
  }
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

WordIndex::Id WordIndex::RecordNote(std::uint32_t record) const {
  return m_noteText[record] | Id{m_noteText[record + 1]} << 16;
}

std::u16string_view WordIndex::RecordName(std::uint32_t record) const {
  const std::uint32_t length = m_noteText[record + 2] | std::uint32_t{m_noteText[record + 3]} << 16;
  // Without substr's bounds check: a record is only ever where InternNote
  // put it, and a lookup asks for millions.
  return std::u16string_view(m_noteText.data() + record + kRecordUnits, length);
}

std::uint32_t WordIndex::FindRecord(std::u16string_view name, std::uint64_t strong) const {
  return m_noteLookup.Find(strong, [&](std::uint32_t record) { return SameKey(RecordName(record), name); });
}

WordIndex::Id WordIndex::FindNote(std::u16string_view name) const {
  const std::uint32_t record = FindRecord(name, StrongHash(name));
  return record == kNone ? kNone : RecordNote(record);
}

WordIndex::Id WordIndex::InternNote(std::u16string_view name) {
  return InternNote(name, StrongHash(name));
}

void WordIndex::InternNotes(std::span<const std::u16string_view> names, const std::uint32_t* walkHashes) {
  constexpr std::size_t kGroup = 32;
  std::uint64_t strong[kGroup];
  for (std::size_t base = 0; base < names.size(); base += kGroup) {
    const std::size_t n = std::min(kGroup, names.size() - base);
    // The next group's units are on their way while this group is hashed
    // and interned.
    for (std::size_t i = base + kGroup; i < std::min(base + 2 * kGroup, names.size()); ++i) {
      __builtin_prefetch(names[i].data());
    }
    for (std::size_t i = 0; i < n; ++i) {
      strong[i] = StrongHash(names[base + i]);
      m_noteLookup.Prefetch(strong[i]);
    }
    for (std::size_t i = 0; i < n; ++i) {
      InternNote(names[base + i], strong[i], walkHashes != nullptr ? &walkHashes[base + i] : nullptr);
    }
  }
}

WordIndex::Id WordIndex::InternNote(std::u16string_view name, std::uint64_t strong, const std::uint32_t* walkHash) {
  const std::uint32_t found = FindRecord(name, strong);
  if (found != kNone) return RecordNote(found);
  if (name.size() > 0xFFFFFFFF - kRecordUnits - m_noteText.size()) throw std::bad_alloc();
  m_noteLookup.Reserve(m_notes.size() + 1);
  if (m_noteWordsBuilt) {
    ReserveOneMore(m_noteWords);
    ReserveOneMore(m_noteWordsKnown);
  }
  ReserveOneMore(m_notes);
  ReserveOneMore(m_noteBuckets);
  ReserveOneMore(m_noteSets);
  const std::size_t units = kRecordUnits + name.size();
  if (m_noteText.capacity() - m_noteText.size() < units) {
    m_noteText.reserve(std::max(2 * m_noteText.capacity(), m_noteText.size() + units));
  }
  const auto id = static_cast<Id>(m_notes.size());
  const auto record = static_cast<std::uint32_t>(m_noteText.size());
  const auto length = static_cast<std::uint32_t>(name.size());
  m_notes.push_back(NoteSpan{record + kRecordUnits, length});
  m_noteBuckets.push_back(static_cast<std::uint8_t>((walkHash != nullptr ? *walkHash : WalkHash(name)) % kBuckets));
  m_noteSets.push_back(0);
  const char16_t header[kRecordUnits] = {static_cast<char16_t>(id), static_cast<char16_t>(id >> 16),
                                          static_cast<char16_t>(length), static_cast<char16_t>(length >> 16)};
  m_noteText.append(header, kRecordUnits);
  m_noteText.append(name);
  if (m_noteWordsBuilt) {
    m_noteWords.emplace_back();
    m_noteWordsKnown.push_back(true);  // in no set yet
  }
  m_noteLookup.Insert(strong, record);
  return id;
}

WordIndex::Id WordIndex::FindWord(std::u16string_view word) const {
  return m_wordLookup.Find(StrongHash(word), [&](Id id) { return SameKey(Word(id), word); });
}

WordIndex::Id WordIndex::InsertWord(std::u16string_view word) {
  return InsertWord(word, StrongHash(word));
}

WordIndex::Id WordIndex::InsertWord(std::u16string_view word, std::uint64_t strong) {
  const Id found = m_wordLookup.Find(strong, [&](Id id) { return SameKey(Word(id), word); });
  if (found != kNone) return found;
  // The word and its NUL.
  if (word.size() >= 0xFFFFFFFF - m_wordText.size()) throw std::bad_alloc();
  const std::uint32_t bucket = WalkHash(word) % kBuckets;
  m_wordLookup.Reserve(m_words.size() + 1);
  ReserveOneMore(m_bucketWords[bucket]);
  ReserveOneMore(m_words);
  if (m_wordBegin.empty()) m_wordBegin.reserve(16);
  ReserveOneMore(m_wordBegin);
  if (m_wordText.capacity() - m_wordText.size() <= word.size()) {
    m_wordText.reserve(std::max(2 * m_wordText.capacity(), m_wordText.size() + word.size() + 1));
  }
  if (m_wordBegin.empty()) m_wordBegin.push_back(0);
  m_words.emplace_back();
  m_wordText.append(word);
  m_wordText.push_back(u'\0');
  m_wordBegin.push_back(static_cast<std::uint32_t>(m_wordText.size()));
  const auto id = static_cast<Id>(m_words.size() - 1);
  m_bucketWords[bucket].push_back(id);
  m_wordLookup.Insert(strong, id);
  Changed();
  return id;
}

void WordIndex::ReserveNotes(std::size_t count, std::size_t units) {
  if (count * kRecordUnits + units > m_noteText.capacity()) m_noteText.reserve(count * kRecordUnits + units);
  m_noteLookup.Reserve(count);
  m_notes.reserve(count);
  m_noteBuckets.reserve(count);
  m_noteSets.reserve(count);
}

void WordIndex::InsertWords(std::span<const std::u16string_view> words, Id* ids) {
  constexpr std::size_t kGroup = 32;
  std::uint64_t strong[kGroup];
  for (std::size_t base = 0; base < words.size(); base += kGroup) {
    const std::size_t n = std::min(kGroup, words.size() - base);
    for (std::size_t i = 0; i < n; ++i) {
      strong[i] = StrongHash(words[base + i]);
      m_wordLookup.Prefetch(strong[i]);
    }
    for (std::size_t i = 0; i < n; ++i) ids[base + i] = InsertWord(words[base + i], strong[i]);
  }
}

void WordIndex::ReserveWords(std::size_t count, std::size_t units) {
  m_wordLookup.Reserve(count);
  // What the words will fill is backed at once, for the records and starts
  // that grew: fresh pages had one at a time cost more.
  const auto prepare = [](auto& array, std::size_t capacity) {
    if (array.capacity() >= capacity) return;
    array.reserve(capacity);
    PrepareToWrite(array.data() + array.size(), (array.capacity() - array.size()) * sizeof(array[0]));
  };
  prepare(m_words, count);
  prepare(m_wordBegin, count + 1);
  // Each with its NUL.
  if (units > 0) prepare(m_wordText, units + count);
  // The walk hash spreads words evenly: an eighth more than a bucket's
  // share lets few buckets grow.
  const std::size_t share = count / kBuckets;
  for (std::vector<Id>& bucket : m_bucketWords) bucket.reserve(share + share / 8 + 16);
}

void WordIndex::BuildNoteWords(bool expectedOnly) {
  const auto listed = [&](Id note) { return !expectedOnly || (note < m_expected.size() && m_expected[note]); };
  // Each list is made at its full size first (m_noteSets counts its words),
  // so that millions of postings do not grow lists step by step.
  std::vector<std::vector<Id>> noteWords(m_notes.size());
  std::vector<char> known(m_notes.size());
  for (Id note = 0; note < m_notes.size(); ++note) {
    known[note] = listed(note) || m_noteSets[note] == 0;
    if (listed(note)) noteWords[note].reserve(m_noteSets[note]);
  }
  for (Id word = 0; word < m_words.size(); ++word) {
    for (const Id note : m_words[word].notes) {
      if (listed(note)) noteWords[note].push_back(word);
    }
  }
  m_noteWords = std::move(noteWords);
  m_noteWordsKnown = std::move(known);
  m_noteWordsBuilt = true;
}

void WordIndex::ExpectAddedAgain(std::span<const Id> notes) {
  m_expected.assign(m_notes.size(), false);
  for (const Id note : notes) m_expected[note] = true;
}

void WordIndex::CountNoteSets() {
  std::fill(m_noteSets.begin(), m_noteSets.end(), 0);
  for (const WordRecord& word : m_words) {
    for (const Id note : word.notes) ++m_noteSets[note];
  }
  m_noteSetsStale = false;
}

void WordIndex::AddNote(Id note, std::span<const Id> words) {
  // Had here rather than as words are inserted: a load adds no note.
  if (m_wordMark.size() < m_words.size()) m_wordMark.resize(m_words.size(), 0);
  Changed();
  if (m_noteSetsStale) CountNoteSets();
  if (++m_markEpoch == 0) {
    std::fill(m_wordMark.begin(), m_wordMark.end(), 0);
    m_markEpoch = 1;
  }
  // A note already in some sets (a changed note, or a name reused) is marked
  // in them first; a new note needs no look at the sets at all.
  if (m_noteSets[note] > 0) {
    // A first build lists only the expected notes' words when this is one
    // of them; any other note in sets has every note's listed, once.
    if (!m_noteWordsBuilt) {
      BuildNoteWords(note < m_expected.size() && m_expected[note]);
    } else if (!m_noteWordsKnown[note]) {
      BuildNoteWords(false);
    }
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
    WordRecord& record = m_words[word];
    if (record.notes.WalkOrdered()) {
      // Back to the order added, which a new note joins at the end.
      ReverseRuns(record.notes, *this);
      record.notes.SetWalkOrdered(false);
    }
    record.notes.PushBack(note);
    if (m_noteWordsBuilt) m_noteWords[note].push_back(word);
    m_wordMark[word] = m_markEpoch;
    ++m_noteSets[note];
  }
}

void WordIndex::RemoveNotes(const std::vector<bool>& gone) {
  auto isGone = [&gone](Id note) { return note < gone.size() && gone[note]; };
  for (WordRecord& word : m_words) {
    word.notes.Shrink(static_cast<std::size_t>(std::remove_if(word.notes.begin(), word.notes.end(), isGone) -
                                               word.notes.begin()));
  }
  for (Id note = 0; note < m_notes.size(); ++note) {
    if (!isGone(note)) continue;
    m_noteSets[note] = 0;
    if (m_noteWordsBuilt) {
      m_noteWords[note].clear();
      m_noteWordsKnown[note] = true;
    }
  }
  Changed();
}

bool WordIndex::ToWalkOrder(std::span<Id> notes) const {
  // In one pass: each run is reversed as it ends, and a bucket below the
  // run's puts the runs reversed so far back.
  if (notes.empty()) return true;
  std::size_t run = 0;
  std::uint32_t runBucket = NoteBucket(notes[0]);
  for (std::size_t i = 1; i <= notes.size(); ++i) {
    const std::uint32_t bucket = i < notes.size() ? NoteBucket(notes[i]) : kBuckets;
    if (bucket == runBucket) continue;
    if (bucket < runBucket) {
      ReverseRuns(std::span(notes.data(), run), *this);
      return false;
    }
    std::reverse(notes.begin() + static_cast<std::ptrdiff_t>(run), notes.begin() + static_cast<std::ptrdiff_t>(i));
    run = i;
    runBucket = bucket;
  }
  return true;
}

void WordIndex::NoteSet::Assign(std::span<const Id> ids) {
  NoteSet copy;
  if (ids.size() <= kHeld) {
    copy.m_capacity = kHeld;
    copy.m_size = static_cast<std::uint32_t>(ids.size());
  } else {
    copy = NoteSet(new Id[ids.size()], ids.size(), ids.size());
  }
  std::copy(ids.begin(), ids.end(), copy.data());
  copy.swap(*this);
}

void WordIndex::NoteSet::PushBack(Id note) {
  if (m_size == 0) {
    // Held here, whatever the set pointed at: a set in a kept block moves
    // out on its first note added.
    NoteSet held;
    held.m_capacity = kHeld;
    held.m_walkOrdered = m_walkOrdered;
    held.swap(*this);
  } else if (m_size == m_capacity || m_capacity == 0) {
    // Out of the set, or out of a kept block, into an array of its own.
    constexpr std::size_t kMost = kMostNotes;
    if (m_size == kMost) throw std::bad_alloc();
    const std::size_t capacity = std::min(kMost, std::max<std::size_t>(2 * std::size_t{m_size}, 2 * kHeld));
    NoteSet grown(new Id[capacity], m_size, capacity);
    std::copy(begin(), end(), grown.data());
    grown.m_walkOrdered = m_walkOrdered;
    grown.swap(*this);
  }
  data()[m_size++] = note;
}

void WordIndex::KeepLoaded(std::unique_ptr<Id[]> block) {
  m_loadedBlocks.push_back(std::move(block));
}

void WordIndex::SetLoadedNotesInPlace(Id word, std::span<Id> notes, bool inWalkOrder) {
  m_words[word].notes.View(notes.data(), notes.size());
  LoadedSetChanged(word, inWalkOrder);
}

void WordIndex::SetLoadedNotes(Id word, std::vector<Id>&& notes, bool inWalkOrder) {
  m_words[word].notes.Assign(notes);
  LoadedSetChanged(word, inWalkOrder);
}

void WordIndex::LoadedSetChanged(Id word, bool inWalkOrder) {
  m_words[word].notes.SetWalkOrdered(inWalkOrder);
  m_noteSetsStale = true;
  m_noteWords.clear();
  m_noteWordsKnown.clear();
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
  WalkOrder& out = *walk;
  const std::size_t words = m_words.size();
  out.words.reserve(words);
  // An index loaded from a file this program wrote walks in id order (the
  // file lists the words in walk order, and they were inserted in it): then
  // the positions are the ids, and the index's text and word starts are
  // the walk's as they are.
  bool idOrder = true;
  for (const std::vector<Id>& bucket : m_bucketWords) {
    for (auto it = bucket.rbegin(); it != bucket.rend(); ++it) {
      idOrder &= *it == out.words.size();
      out.words.push_back(*it);
    }
  }
  bool allWalkOrdered = true;
  std::size_t toSort = 0;  // the notes of the sets not kept in walk order
  for (const WordRecord& word : m_words) {
    out.postings += word.notes.size();
    allWalkOrdered &= word.notes.WalkOrdered();
    toSort += word.notes.WalkOrdered() ? 0 : word.notes.size();
  }
  if (idOrder) {
    static constexpr std::uint32_t kNoWords[1] = {0};
    out.m_text = m_wordText;
    out.textBegin = m_wordBegin.empty() ? std::span<const std::uint32_t>(kNoWords) : std::span(m_wordBegin);
    if (allWalkOrdered) {
      // Loaded and not added to since: every set is its own walk.
      out.m_records = m_words.data();
      m_walk = std::move(walk);
      return *m_walk;
    }
  }
  // First where each word's notes and letters go, then the notes and
  // letters: two threads fill the second half and the first half of the
  // work side by side. Sets loaded in walk order are taken as they are; the
  // others are sorted into it, each where its Set points.
  out.m_sets.Allocate(words);
  out.m_sorted.Allocate(toSort);
  if (!idOrder) out.m_textBegins.Allocate(words + 1);
  // The work up to a walk position: the notes sorted, and the units copied
  // or else one step a word, before it. The helper takes the positions from
  // the first that has half the work before it.
  const std::size_t allWork = toSort + (idOrder ? words : m_wordText.size());
  std::size_t half = words;
  std::size_t sortedAt = 0;
  std::uint32_t textAt = 0;
  for (std::size_t at = 0; at < words; ++at) {
    if (half == words && 2 * (sortedAt + (idOrder ? at : textAt)) >= allWork) half = at;
    const Id id = out.words[at];
    const WordRecord& word = m_words[id];
    if (word.notes.WalkOrdered()) {
      out.m_sets[at] = WalkOrder::Set{word.notes.data(), word.notes.size()};
    } else {
      out.m_sets[at] = WalkOrder::Set{out.m_sorted.data() + sortedAt, word.notes.size()};
      sortedAt += word.notes.size();
    }
    if (!idOrder) {
      out.m_textBegins[at] = textAt;
      textAt += m_wordBegin[id + 1] - m_wordBegin[id];
    }
  }
  if (!idOrder) {
    out.m_textBegins[words] = textAt;
    out.textBegin = std::span<const std::uint32_t>(out.m_textBegins.data(), words + 1);
    out.m_positions.Allocate(words);
    out.position.m_table = out.m_positions.data();
    out.m_textCopy.Allocate(m_wordText.size());
    out.m_text = std::u16string_view(out.m_textCopy.data(), out.m_textCopy.size());
  }
  const auto fill = [&out, idOrder, this](std::size_t from, std::size_t to) noexcept {
    for (std::size_t at = from; at < to; ++at) {
      const Id id = out.words[at];
      const WordRecord& word = m_words[id];
      if (!word.notes.WalkOrdered()) {
        // Where its Set points, reached through the writable array.
        WalkSet(word.notes, *this, out.m_sorted.data() + (out.m_sets[at].notes - out.m_sorted.data()));
      }
      if (!idOrder) {
        out.m_positions[id] = static_cast<std::uint32_t>(at);
        // The word with its NUL.
        std::copy(m_wordText.data() + m_wordBegin[id], m_wordText.data() + m_wordBegin[id + 1],
                  out.m_textCopy.data() + out.m_textBegins[at]);
      }
    }
  };
  std::thread helper;
  if (allWork < kWalkHelperWork) half = words;
  if (half < words) {
    try {
      helper = std::thread(fill, half, words);
    } catch (const std::system_error&) {
      half = words;  // no second thread to be had: this one does it all
    }
  }
  fill(0, half);
  if (helper.joinable()) helper.join();
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
