#pragma once
// The word index: every word of the notes, lower-cased, with the set of notes
// that contain it. Its persisted form is the word list section of the index
// file: each word with its notes' names joined by ':'.
//
// Note names are interned once to ids; a note set is a flat array of ids.
// What shows outside is the order of the old design, a chained map of 17
// buckets with the newest entry at the head of its chain, at both levels:
// - words walk by (walk hash of the word % 17) ascending, and within a
//   bucket the most recently inserted word first;
// - a word's notes walk by (walk hash of the name % 17) ascending, and within
//   a bucket the most recently added note first;
// - removing a note leaves the others in their order; adding a note that is
//   already in a set changes nothing.
// (The walk hash is h = h * 33 + c over the UTF-16 code units, mod 2^32.)
// Sets keep their notes in the order they were added, except loaded sets
// that the loader put into walk order (SetLoadedNotes), until a note is
// added to them; Walk() derives the visible order once and keeps it until
// the index changes.
//
// A word may have an empty note set (after RemoveNotes, or from an empty word
// list); readers must expect that. Words and names are never forgotten
// until the index is destroyed. Exhausted memory throws std::bad_alloc or
// CMemoryException; the index is then still valid, possibly with part of
// the failed call done.
//
// Threads: one thread may intern and read names (FindNote, InternNote,
// NoteName) while another inserts and reads words (FindWord, InsertWord,
// Word); or, while nobody interns, any number of threads may read names
// while one inserts and reads words and sets their notes (SetLoadedNotes,
// KeepLoaded).
// Nothing else may run concurrently.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "index/lookup_table.h"

class WordIndex {
  struct WordRecord;

 public:
  using Id = std::uint32_t;
  static constexpr Id kNone = 0xFFFFFFFF;
  // The buckets of the walk hash, by which words and notes walk.
  static constexpr std::uint32_t kWalkBuckets = 17;

  // An array whose elements start out unset: Walk() writes every element,
  // so zeroing them first would only touch every page twice, and on one
  // thread; this way the threads that fill them touch them first.
  template <class T>
  class Filled {
   public:
    void Allocate(std::size_t size) {
      m_data.reset(new T[size]);
      m_size = size;
    }
    std::size_t size() const { return m_size; }
    T* data() { return m_data.get(); }
    const T* data() const { return m_data.get(); }
    T* begin() { return data(); }
    T* end() { return data() + m_size; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + m_size; }
    T& operator[](std::size_t i) { return m_data[i]; }
    const T& operator[](std::size_t i) const { return m_data[i]; }

   private:
    std::unique_ptr<T[]> m_data;
    std::size_t m_size = 0;
  };

  // The visible order, as Walk() gives it. When the walk order is the id
  // order, as in an index just loaded from a file this program wrote, the
  // positions, the text and its word starts are the index's own and nothing
  // is copied; the sets too, when all were loaded in walk order.
  struct WalkOrder {
    // A word's notes in walk order: its own set when that is kept in walk
    // order, else a part of m_sorted.
    struct Set {
      const Id* notes;
      std::size_t size;
    };
    // Word id to its walk position: a table, or the id itself.
    class Positions {
     public:
      std::uint32_t operator[](Id word) const { return m_table != nullptr ? m_table[word] : word; }

     private:
      friend class WordIndex;
      const std::uint32_t* m_table = nullptr;
    };
    std::vector<Id> words;                 // word ids in walk order
    std::size_t postings = 0;              // the notes of all sets
    Positions position;                    // word id to its walk position
    std::span<const std::uint32_t> textBegin;  // per walk position, into Text(); one more at the end

    std::u16string_view Text() const { return m_text; }

    std::span<const Id> NotesAt(std::size_t walkPosition) const {
      if (m_records != nullptr) {
        const NoteSet& set = m_records[walkPosition].notes;
        return {set.data(), set.size()};
      }
      return {m_sets[walkPosition].notes, m_sets[walkPosition].size};
    }

   private:
    friend class WordIndex;
    std::u16string_view m_text;             // the words in walk order, each followed by a NUL
    const WordRecord* m_records = nullptr;  // per position, when the sets are the index's own
    Filled<Set> m_sets;                     // per walk position, unless m_records
    Filled<Id> m_sorted;                    // the notes of the sets kept in the order added, in walk order
    Filled<std::uint32_t> m_positions;      // unless position is the id
    Filled<char16_t> m_textCopy;            // unless the text is the index's own
    Filled<std::uint32_t> m_textBegins;     // unless the starts are the index's own
  };

  WordIndex() = default;
  WordIndex(const WordIndex&) = delete;
  WordIndex& operator=(const WordIndex&) = delete;
  // Moving leaves the source empty; assigning WordIndex() empties an index.
  WordIndex(WordIndex&&) noexcept = default;
  WordIndex& operator=(WordIndex&&) noexcept = default;

  // --- Note names ---
  Id FindNote(std::u16string_view name) const;
  // The name's id, interned when new. The names, with four units each
  // besides, may hold 2^32 - 1 code units in all; more throws
  // std::bad_alloc, as exhausted memory does.
  Id InternNote(std::u16string_view name);
  // InternNote of each of names in turn. Faster than one by one for names
  // the caches do not hold: each group's names are read and their lookups
  // asked for ahead of their turn. walkHashes, when given, holds the
  // WalkHash of each name (as many), known already to a caller that took
  // the names from a map.
  void InternNotes(std::span<const std::u16string_view> names, const std::uint32_t* walkHashes = nullptr);
  // Makes room for count names in all, of units code units in all, so that
  // interning them does not move the names already there.
  void ReserveNotes(std::size_t count, std::size_t units = 0);
  // Valid until the next InternNote.
  std::u16string_view NoteName(Id note) const {
    return std::u16string_view(m_noteText).substr(m_notes[note].begin, m_notes[note].length);
  }
  // The bucket (walk hash % 17) of the name.
  std::uint32_t NoteBucket(Id note) const { return m_noteBuckets[note]; }
  std::size_t NoteCount() const { return m_notes.size(); }

  // --- Words ---
  Id FindWord(std::u16string_view word) const;
  // The word's id; a new word is inserted (the newest of its bucket) with an
  // empty note set. The words, with one unit each besides, may hold
  // 2^32 - 1 code units in all; more throws std::bad_alloc, as exhausted
  // memory does.
  Id InsertWord(std::u16string_view word);
  // The same with StrongHash(word) already computed.
  Id InsertWord(std::u16string_view word, std::uint64_t strong);
  // InsertWord of each of words in turn, their ids into ids (as many).
  // Faster than one by one: the memory each insertion looks at first is
  // asked for ahead of it.
  void InsertWords(std::span<const std::u16string_view> words, Id* ids);
  // Makes room for count words in all, of about units code units in all
  // (0: unknown), so that inserting them does not move the words already
  // there. The words of each walk bucket get room for a share of count
  // with some to spare.
  void ReserveWords(std::size_t count, std::size_t units = 0);
  // Valid until the next InsertWord.
  std::u16string_view Word(Id word) const {
    return {m_wordText.data() + m_wordBegin[word], m_wordBegin[word + 1] - m_wordBegin[word] - 1};
  }
  std::size_t WordCount() const { return m_words.size(); }
  // Notes of the word in the order they were added, or in walk order when
  // they were loaded in it (see SetLoadedNotes).
  std::span<const Id> NotesAdded(Id word) const { return {m_words[word].notes.data(), m_words[word].notes.size()}; }

  // --- Note sets ---
  // Puts note into the set of each of words (ids from InsertWord); a set
  // that already holds it is left alone. Words may repeat.
  void AddNote(Id note, std::span<const Id> words);
  // Names the notes AddNote will be given again (changed notes, already in
  // sets). Adding a note that is in sets needs the words it is in: for these
  // notes they are then gathered in one pass that keeps only theirs, instead
  // of listing every note's words. A note not named here still works, at the
  // cost of listing every note's words once.
  void ExpectAddedAgain(std::span<const Id> notes);

  // Takes every note whose gone[id] is true (gone is indexed by note id and
  // may be shorter than NoteCount) out of every set, in one pass.
  void RemoveNotes(const std::vector<bool>& gone);

  // --- Loading ---
  // Replaces the set of word with notes (distinct ids), added in this
  // order; or, when inWalkOrder, notes that ToWalkOrder put into walk
  // order, which Walk() then takes as they are.
  void SetLoadedNotes(Id word, std::vector<Id>&& notes, bool inWalkOrder = false);
  // Keeps block, which holds loaded sets, for as long as the index lives:
  // one allocation for many sets instead of one each.
  void KeepLoaded(std::unique_ptr<Id[]> block);
  // SetLoadedNotes with notes that lie in a block given to KeepLoaded and
  // in no other set: the set stays there until a note is added to it.
  void SetLoadedNotesInPlace(Id word, std::span<Id> notes, bool inWalkOrder);
  // If notes, in the order they are to be added, lie in runs of one bucket
  // with the buckets ascending, as a set saved by this program is listed,
  // puts them into walk order in place and returns true; else leaves them
  // and returns false. Reads names only, so a loader's threads may call it
  // side by side.
  bool ToWalkOrder(std::span<Id> notes) const;
  // Reverses the insertion order of all words: a loader that inserts words
  // in the order of the file's pairs calls it once when done, because the
  // saved order within a bucket is the oldest word first (see SaveOrder).
  void ReverseWordInsertions();

  // --- Order ---
  // The walk order, built when first asked for after a change.
  const WalkOrder& Walk() const;
  // The order the word list section is saved in: buckets ascending, and
  // within a bucket the oldest word first (a map filled in walk order
  // reverses each chain). Words with empty sets are left out.
  std::vector<Id> SaveOrder() const;

 private:
  // Where a note's name lies in m_noteText, for NoteName.
  struct NoteSpan {
    std::uint32_t begin;
    std::uint32_t length;
  };
  // A word's notes: up to two ids held in the set itself, an array of its
  // own, or a part of a block of loaded sets that the index keeps
  // (KeepLoaded) until a note is added. Most words of a folder are in one
  // or two notes, and an array of their own would cost them an allocation
  // twice their size. No two sets share ids, so a set is shrunk or
  // reordered where it lies. Ids held in the set move with it: a pointer to
  // them lasts only while the words do not grow.
  class NoteSet {
   public:
    NoteSet() = default;
    NoteSet(NoteSet&& other) noexcept { swap(other); }
    NoteSet& operator=(NoteSet&& other) noexcept {
      NoteSet(std::move(other)).swap(*this);
      return *this;
    }
    ~NoteSet() { delete[] Owned(); }

    // Points the set at ids that someone else keeps.
    void View(Id* ids, std::size_t size) { NoteSet(ids, size, 0).swap(*this); }
    // A copy of ids, held by the set.
    void Assign(std::span<const Id> ids);
    // Throws std::bad_alloc, the set unchanged, when it cannot grow.
    void PushBack(Id note);
    // Keeps the first size notes.
    void Shrink(std::size_t size) { m_size = static_cast<std::uint32_t>(size); }
    // Whether the notes are in walk order, as loaded (see SetLoadedNotes).
    // View and Assign clear it.
    bool WalkOrdered() const { return m_walkOrdered != 0; }
    void SetWalkOrdered(bool walkOrdered) { m_walkOrdered = walkOrdered ? 1 : 0; }

    Id* data() { return m_capacity == kHeld ? m_store.held : m_store.array; }
    const Id* data() const { return m_capacity == kHeld ? m_store.held : m_store.array; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    Id* begin() { return data(); }
    Id* end() { return data() + m_size; }
    const Id* begin() const { return data(); }
    const Id* end() const { return data() + m_size; }

    // A set holds fewer notes than this: every note's name takes four code
    // units of a name text of fewer than 2^32, so there are fewer notes.
    static constexpr std::size_t kMostNotes = 0x7FFFFFFF;

   private:
    // The capacity of a set whose ids it holds itself; an array of its own
    // always has more room than that.
    static constexpr std::uint32_t kHeld = 2;

    NoteSet(Id* data, std::size_t size, std::size_t capacity)
        : m_size(static_cast<std::uint32_t>(size)), m_capacity(static_cast<std::uint32_t>(capacity)) {
      m_store.array = data;
    }
    void swap(NoteSet& other) noexcept {
      std::swap(m_store, other.m_store);
      std::swap(m_size, other.m_size);
      const std::uint32_t capacity = m_capacity;
      m_capacity = other.m_capacity;
      other.m_capacity = capacity;
      const std::uint32_t walkOrdered = m_walkOrdered;
      m_walkOrdered = other.m_walkOrdered;
      other.m_walkOrdered = walkOrdered;
    }
    Id* Owned() const { return m_capacity > kHeld ? m_store.array : nullptr; }

    union Store {
      Id* array;
      Id held[kHeld];
    };
    Store m_store{nullptr};
    // A capacity of 0 with notes: a part of a block someone else keeps; of
    // kHeld: the ids in m_store. The flag shares the capacity's word, so
    // that a word's record takes 16 bytes: a load writes one per word, fresh
    // memory every time.
    std::uint32_t m_size = 0;
    std::uint32_t m_capacity : 31 = 0;
    std::uint32_t m_walkOrdered : 1 = 0;
  };

  struct WordRecord {
    NoteSet notes;  // in the order added, or in walk order when it says so
  };
  static_assert(sizeof(WordRecord) == sizeof(Id*) + 8);

  // In m_noteText each name follows its record's head: its id, then its
  // length, two units each, the low half first. The name lookup holds where
  // records begin, so a lookup reads all it needs in one place.
  static constexpr std::uint32_t kRecordUnits = 4;
  Id RecordNote(std::uint32_t record) const;
  std::u16string_view RecordName(std::uint32_t record) const;
  // The record of the name, whose StrongHash is strong, or kNone.
  std::uint32_t FindRecord(std::u16string_view name, std::uint64_t strong) const;
  // InternNote with StrongHash(name) already computed, and its WalkHash
  // when walkHash is not null.
  Id InternNote(std::u16string_view name, std::uint64_t strong, const std::uint32_t* walkHash = nullptr);

  // Ids of the words each note is in, built when a note that is already in
  // some set is added again, and kept up to date from then on: for every
  // note, or with expectedOnly for the notes of ExpectAddedAgain (and those
  // in no set) only. m_noteSets must be counted.
  void BuildNoteWords(bool expectedOnly);
  void CountNoteSets();
  void Changed() { m_walk.reset(); }
  // After a word's set was replaced by a loaded one: what was counted or
  // ordered from the sets is stale.
  void LoadedSetChanged(Id word, bool inWalkOrder);

  std::vector<NoteSpan> m_notes;
  std::vector<std::uint8_t> m_noteBuckets;  // per note: walk hash % 17
  // Per note: how many sets hold it. Counted when AddNote first needs it
  // after a load: a refresh that adds no note never needs it.
  std::vector<std::uint32_t> m_noteSets;
  bool m_noteSetsStale = false;
  // Every name's record, one after another in id order: a lookup compares
  // one name in one place, and the names of a list, mostly interned in list
  // order, lie close together. At most 2^32 - 1 code units in all; more
  // counts as exhausted memory.
  std::u16string m_noteText;
  std::vector<WordRecord> m_words;
  std::vector<std::unique_ptr<Id[]>> m_loadedBlocks;  // see KeepLoaded
  // Every word's text, each followed by a NUL, one after another in id
  // order: one allocation for all of them instead of one a word, and the
  // text a walk in id order searches as it is. At most 2^32 - 1 code units
  // in all; more counts as exhausted memory.
  std::u16string m_wordText;
  // Per word, where it begins in m_wordText, and one more at the end (the
  // size of m_wordText); empty while there are no words. The word starts a
  // walk in id order gives.
  std::vector<std::uint32_t> m_wordBegin;
  std::vector<Id> m_bucketWords[kWalkBuckets];  // word ids per bucket, oldest first
  LookupTable<std::uint32_t, kNone> m_noteLookup;  // to records
  LookupTable<Id, kNone> m_wordLookup;
  std::vector<std::vector<Id>> m_noteWords;  // empty until BuildNoteWords
  bool m_noteWordsBuilt = false;
  std::vector<char> m_noteWordsKnown;  // per note, once built: its words are all listed
  std::vector<char> m_expected;        // per note: named by ExpectAddedAgain
  std::vector<std::uint32_t> m_wordMark;  // per word, once AddNote needs it: the AddNote call that saw it
  std::uint32_t m_markEpoch = 0;
  mutable std::unique_ptr<WalkOrder> m_walk;
};

// Converts wordBytes from the ANSI code page, lower-cases it with
// LowerCaseInPlace, and puts noteName into that word's note set.
void AddWord(std::string_view wordBytes, const std::u16string& noteName, WordIndex& index);

// The walk hash: h = h * 33 + c over the code units, mod 2^32.
std::uint32_t WalkHash(std::u16string_view key);
