#include "index/word_list_reader.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "index/archive.h"
#include "index/list_names.h"
#include "index/name_prefixes.h"
#include "index/start_thread.h"

namespace {

using Id = WordIndex::Id;
constexpr Id kNone = WordIndex::kNone;

// Threads of their own: with the reader, which splits what they have not
// taken whenever it would wait for them, two keep two cores busy.
constexpr std::size_t kThreads = 1;
// Lists go to the threads in chunks of about this many code units or lists:
// small enough that the few chunks in turn stay in the cache.
constexpr std::size_t kChunkUnits = std::size_t{1} << 16;
constexpr std::size_t kChunkLists = 4096;
// A chunk holds the archive's buffers its lists lie in until it is taken
// back; one that reaches a second is queued, so that long words between the
// lists cannot make the few chunks hold many.
constexpr std::size_t kChunkBlocks = 2;
// Chunks in turn: one filled while the others wait or are split.
constexpr std::size_t kChunks = 4;

// Whether text holds a NUL: four units at a time, with no early exit.
bool HasNul(std::u16string_view text) {
  constexpr std::uint64_t kOnes = 0x0001000100010001;
  std::uint64_t found = 0;
  std::size_t i = 0;
  for (; i + 4 <= text.size(); i += 4) {
    std::uint64_t units;
    std::memcpy(&units, text.data() + i, sizeof units);
    found |= (units - kOnes) & ~units & (kOnes << 15);  // nonzero when a unit is 0
  }
  for (; i < text.size(); ++i) found |= text[i] == u'\0';
  return found != 0;
}

// Splits lists into the ids of their distinct names, in list order. A list
// ends at its first NUL; empty pieces between ':' are skipped. One per
// thread.
class ListSplitter {
 public:
  // Cuts lists 0 to count - 1 (list(i) gives each) into names and looks
  // them all up, by their beginnings: most lists name one note or a few, so
  // the lookups of many lists at once overlap where one list's could not.
  template <class List>
  void FindAll(std::size_t count, List&& list, const WordIndex& words, const NamePrefixes& prefixes) {
    m_names.clear();
    m_listEnds.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      ForEachListName(list(i), [&](const char16_t* name, std::size_t length) { m_names.emplace_back(name, length); });
      m_listEnds[i] = m_names.size();
    }
    m_ids.resize(m_names.size());
    prefixes.FindNames(m_names, words, m_ids.data());
  }

  // Appends the distinct notes of list i of FindAll to notes; false, with
  // notes as it was, when one of its names is not interned.
  bool Found(std::size_t i, std::vector<Id>& notes) {
    const std::size_t start = notes.size();
    ++m_listNumber;
    for (std::size_t k = i == 0 ? 0 : m_listEnds[i - 1]; k < m_listEnds[i]; ++k) {
      if (m_ids[k] == kNone) {
        notes.resize(start);
        return false;
      }
      Keep(m_ids[k], notes);
    }
    return true;
  }

  // Interns the names that are new.
  void Intern(std::u16string_view list, WordIndex& words, std::vector<Id>& notes) {
    notes.clear();
    ++m_listNumber;
    ForEachListName(list, [&](const char16_t* name, std::size_t length) {
      Keep(words.InternNote(std::u16string_view(name, length)), notes);
    });
  }

 private:
  void Keep(Id note, std::vector<Id>& notes) {
    if (note >= m_lastList.size()) m_lastList.resize(note + 1, 0);
    if (m_lastList[note] == m_listNumber) return;
    m_lastList[note] = m_listNumber;
    notes.push_back(note);
  }

  std::vector<std::u16string_view> m_names;
  std::vector<std::size_t> m_listEnds;  // per list of FindAll: its names' end in m_names
  std::vector<Id> m_ids;
  std::vector<std::uint32_t> m_lastList;  // per note id: the list that last named it
  std::uint32_t m_listNumber = 0;
};

// Pairs read in a row. A few chunks are reused in turn, so that their
// storage is had once and stays warm: the reader fills one while the threads
// split others, and takes a chunk back, in file order, before it fills it
// again.
struct Chunk {
  // Per list: where it lies, in the archive's buffers or copied into text.
  struct Place {
    const char16_t* data;  // null: copied, at begin in text
    std::size_t begin;
    std::size_t size;
  };
  std::vector<CArchive::Block> blocks;  // the archive's buffers its lists lie in
  std::u16string text;                  // the lists that could not stay there
  std::vector<Place> places;            // per list
  std::size_t units = 0;                // of the lists, wherever they lie
  std::u16string keys;                  // the words, one after another, until inserted
  std::vector<std::size_t> keyEnds;     // per list: its word's end in keys
  std::vector<Id> words;                // per list: its word, once inserted
  std::uint32_t firstPair = 0;          // the pair of its first list
  // Once split: the notes of every list, one after another, where the
  // index keeps them, and per list its end there.
  std::unique_ptr<Id[]> notes;
  std::vector<std::size_t> notesEnd;
  std::vector<char> unknown;            // per list: names a note not interned
  std::vector<char> walkOrdered;        // per list: its notes put into walk order
  bool split = false;                   // the threads are done with it

  std::size_t Lists() const { return places.size(); }
  std::u16string_view List(std::size_t i) const {
    const Place& place = places[i];
    if (place.data != nullptr) return std::u16string_view(place.data, place.size);
    return std::u16string_view(text).substr(place.begin, place.size);
  }
  // Reads the next word into keys, whole: Keys cuts it at its first NUL.
  void ReadKey(CArchive& ar) {
    ar.AppendString(keys);
    keyEnds.push_back(keys.size());
  }
  // The word of each list, cut at its first NUL as every key of a map is.
  // Rare in a file, so the keys are looked at once for any NUL, many units
  // at a time, instead of each key on its own.
  void Keys(std::vector<std::u16string_view>& views) const {
    views.clear();
    const std::u16string_view all(keys);
    for (std::size_t i = 0, begin = 0; i < Lists(); begin = keyEnds[i++]) {
      views.push_back(all.substr(begin, keyEnds[i] - begin));
    }
    if (!HasNul(all)) return;
    for (std::u16string_view& key : views) key = key.substr(0, key.find(u'\0'));
  }
  // Reads the next list, where it lies if it can.
  void ReadList(CArchive& ar) {
    const std::size_t begin = text.size();
    const std::u16string_view list = ar.ReadStringInPlace(text, blocks);  // cut at its NUL when split
    places.push_back(list.data() != nullptr ? Place{list.data(), 0, list.size()}
                                            : Place{nullptr, begin, text.size() - begin});
    units += places.back().size;
  }
  // Empties it for the next pairs, keeping its storage; the archive may
  // read into its buffers again.
  void Reuse(std::uint32_t pair) {
    blocks.clear();
    text.clear();
    places.clear();
    units = 0;
    keys.clear();
    keyEnds.clear();
    words.clear();
    firstPair = pair;
  }
};

// Threads that split chunks, looking names up only, so that any of them,
// or the reader while it waits, may take any chunk. The names of stamps,
// when given, are interned first, while the reader reads on, by whichever
// comes first for them: a thread once started, or the reader when it would
// wait for a chunk; the chunks wait until it is done. Nothing else may
// intern names while they run. When the system gives fewer threads or none,
// the reader does what they would have done.
class SplitThreads {
 public:
  // Throws std::bad_alloc when memory runs out.
  SplitThreads(WordIndex& words, const CMapStringToString* stamps) : m_words(words), m_stamps(stamps) {
    m_threads.reserve(kThreads);  // so that keeping a started thread cannot fail
    try {
      for (std::size_t i = 0; i < kThreads; ++i) {
        std::thread thread = StartThread([this] { Run(); });
        if (!thread.joinable()) break;
        m_threads.push_back(std::move(thread));
      }
    } catch (...) {
      Stop();
      throw;
    }
  }
  // After a failure of the reader: drops the chunks queued and stops.
  ~SplitThreads() { Stop(); }
  SplitThreads(const SplitThreads&) = delete;
  SplitThreads& operator=(const SplitThreads&) = delete;

  // Queues chunk, which must stay in place until it is split or the threads
  // are stopped. Rethrows a failure of a thread, so the reader stops reading.
  void Add(Chunk& chunk) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_failure) std::rethrow_exception(m_failure);
    chunk.split = false;
    m_queue.push_back(&chunk);
    m_ready.notify_one();
  }

  // Waits until chunk, queued before, is split, meanwhile splitting chunks
  // no thread has taken yet on the calling thread with splitter. Rethrows a
  // failure of a thread; throws what splitting throws.
  void Wait(const Chunk& chunk, ListSplitter& splitter, std::vector<Id>& all) {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
      if (m_failure) std::rethrow_exception(m_failure);
      if (chunk.split) return;
      if (!m_internClaimed) {
        // No thread has begun yet: one may take long to start.
        Intern(lock);
        continue;
      }
      if (!m_interned || m_queue.empty()) {
        m_splitDone.wait(lock);
        continue;
      }
      Chunk* other = m_queue.front();
      m_queue.pop_front();
      lock.unlock();
      SplitChunk(*other, splitter, all);
      lock.lock();
      other->split = true;
    }
  }

  // Tells the threads that no chunk comes after those queued: each ends
  // when it finds none left, while the caller waits for the last ones,
  // instead of after them, when Finish would wait for it to wake.
  void Close() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_closing = true;
    m_ready.notify_all();
  }

  // Stops the threads once every chunk queued is split; the names may be
  // interned again from then on. Rethrows a failure of a thread.
  void Finish() {
    Close();
    Join();
    if (m_failure) std::rethrow_exception(m_failure);
  }

 private:
  void Stop() {
    {
      const std::lock_guard<std::mutex> lock(m_mutex);
      m_stop = true;
      m_queue.clear();
      m_ready.notify_all();
    }
    Join();
  }

  void Join() {
    for (std::thread& thread : m_threads) {
      if (thread.joinable()) thread.join();
    }
  }

  void Run() {
    try {
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_internClaimed) Intern(lock);
      }
      ListSplitter splitter;
      std::vector<Id> all;
      for (;;) {
        Chunk* chunk;
        {
          std::unique_lock<std::mutex> lock(m_mutex);
          m_ready.wait(lock, [this] {
            return m_stop || m_failure || (m_interned && (m_closing || !m_queue.empty()));
          });
          if (m_stop || m_failure || m_queue.empty()) return;
          chunk = m_queue.front();
          m_queue.pop_front();
        }
        SplitChunk(*chunk, splitter, all);
        const std::lock_guard<std::mutex> lock(m_mutex);
        chunk->split = true;
        m_splitDone.notify_all();
      }
    } catch (...) {
      const std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_failure) m_failure = std::current_exception();
      m_ready.notify_all();
      m_splitDone.notify_all();
    }
  }

  // Interns the names of stamps, which no thread has claimed yet; lock is
  // held before and after, not while they are interned.
  void Intern(std::unique_lock<std::mutex>& lock) {
    m_internClaimed = true;
    lock.unlock();
    InternStamps();
    lock.lock();
    m_interned = true;
    m_ready.notify_all();
    m_splitDone.notify_all();
  }

  void InternStamps() {
    if (m_stamps != nullptr) {
      // Gathered first, so that the names are read ahead of their turn.
      // Their walk hashes too, which the map knows.
      std::vector<std::u16string_view> names;
      std::vector<std::uint32_t> walkHashes;
      names.reserve(static_cast<std::size_t>(m_stamps->Count()));
      walkHashes.reserve(names.capacity());
      std::size_t units = 0;
      for (const auto* e = m_stamps->FirstEntry(); e != nullptr; e = m_stamps->NextEntry(e)) {
        names.push_back(e->key);
        walkHashes.push_back(e->nHashValue);
        units += e->key.size();
      }
      m_words.ReserveNotes(names.size(), units);
      m_words.InternNotes(names, walkHashes.data());
      // Once the names are all there, for the splitting that waits for them.
      m_prefixes.Build(m_words);
    }
  }

  // all: the chunk's notes gathered, reused from chunk to chunk.
  void SplitChunk(Chunk& chunk, ListSplitter& splitter, std::vector<Id>& all) {
    all.clear();
    chunk.notesEnd.resize(chunk.Lists());
    chunk.unknown.assign(chunk.Lists(), false);
    chunk.walkOrdered.resize(chunk.Lists());
    splitter.FindAll(chunk.Lists(), [&chunk](std::size_t i) { return chunk.List(i); }, m_words, m_prefixes);
    for (std::size_t i = 0; i < chunk.Lists(); ++i) {
      const std::size_t begin = all.size();
      if (splitter.Found(i, all)) {
        // Here, while the notes are at hand, rather than by the walk later.
        // Most lists name one note, which is its own walk.
        chunk.walkOrdered[i] = all.size() - begin < 2 || m_words.ToWalkOrder(std::span(all).subspan(begin));
      } else {
        chunk.unknown[i] = true;
      }
      chunk.notesEnd[i] = all.size();
    }
    // At their size, for the index to keep.
    chunk.notes.reset(new Id[all.size()]);
    std::copy(all.begin(), all.end(), chunk.notes.get());
  }

  WordIndex& m_words;
  const CMapStringToString* m_stamps;
  NamePrefixes m_prefixes;  // built with the stamps' names, read-only from then on
  std::mutex m_mutex;
  std::condition_variable m_ready;
  std::condition_variable m_splitDone;
  std::deque<Chunk*> m_queue;
  bool m_internClaimed = false;  // a thread interns the names, or has
  bool m_interned = false;
  bool m_closing = false;
  bool m_stop = false;
  std::exception_ptr m_failure;
  std::vector<std::thread> m_threads;
};

// The outcome of the lists, taken in file order. A word read twice keeps
// its first place and takes its later list, so only each word's last list
// fills its set. A list naming a note that is not interned waits until the
// threads are done; its names are then interned in file order, so the ids
// never depend on the threads' timing.
class LoadedLists {
 public:
  explicit LoadedLists(WordIndex& words) : m_words(words) {}

  // Inserts the words of chunk, filled and not yet split, in file order.
  void InsertWords(Chunk& chunk) {
    chunk.Keys(m_views);
    chunk.words.resize(chunk.Lists());
    auto fresh = static_cast<Id>(m_words.WordCount());
    m_words.InsertWords(m_views, chunk.words.data());
    // New words take the ids next in turn; any other was read before (never
    // in a file this program wrote), and only its latest pair is noted.
    for (std::size_t i = 0; i < chunk.Lists(); ++i) {
      if (chunk.words[i] == fresh) {
        ++fresh;
      } else {
        m_repeated[chunk.words[i]] = chunk.firstPair + static_cast<std::uint32_t>(i);
      }
    }
  }

  // Takes the outcome of a chunk that is split; keeps the text of its lists
  // that wait.
  void Take(Chunk& chunk) {
    Id* const notes = chunk.notes.get();
    m_words.KeepLoaded(std::move(chunk.notes));
    for (std::size_t i = 0, begin = 0; i < chunk.Lists(); begin = chunk.notesEnd[i++]) {
      const Id word = chunk.words[i];
      const std::uint32_t pair = chunk.firstPair + static_cast<std::uint32_t>(i);
      if (chunk.unknown[i]) {
        m_waiting.push_back(Waiting{word, pair, std::u16string(chunk.List(i))});
      } else {
        // A later list of the word, taken later, replaces this one.
        m_words.SetLoadedNotesInPlace(word, std::span(notes + begin, chunk.notesEnd[i] - begin),
                                      chunk.walkOrdered[i] != 0);
      }
    }
  }

  // After the threads: interns the names of the lists that waited.
  void Finish() {
    ListSplitter interning;
    std::vector<Id> notes;
    for (Waiting& list : m_waiting) {
      interning.Intern(list.text, m_words, notes);
      // Unless a later list of the word, taken before, filled its set.
      const auto later = m_repeated.find(list.word);
      if (later == m_repeated.end() || later->second <= list.pair) {
        m_words.SetLoadedNotes(list.word, std::vector<Id>(notes));
      }
      std::u16string().swap(list.text);
    }
  }

 private:
  struct Waiting {
    Id word;
    std::uint32_t pair;
    std::u16string text;
  };

  WordIndex& m_words;
  std::unordered_map<Id, std::uint32_t> m_repeated;  // per word read again: its latest pair
  std::vector<std::u16string_view> m_views;
  std::deque<Waiting> m_waiting;
};

}  // namespace

void ReadWordLists(CArchive& ar, const CMapStringToString& stamps, WordIndex& words,
                   RefreshProgress* progress) {
  const std::uint32_t count = ar.ReadCountOf(2);
  // A pair of a file this program wrote takes 12 bytes at least (a word and
  // a name of one UTF-16 unit each).
  const std::size_t room = ar.RoomFor(count, 12);
  words.ReserveWords(room);
  LoadedLists loaded(words);
  // Outlive the threads, which point into them; one being filled, the others
  // queued or being split.
  std::array<Chunk, kChunks> chunks;
  std::array<bool, kChunks> queued{};
  std::size_t filling = 0;
  SplitThreads threads(words, count > 0 ? &stamps : nullptr);
  // Takes back the chunk at slot, once split, and makes it the one filled.
  ListSplitter splitter;  // for what the reader splits itself
  std::vector<Id> all;
  const auto takeBack = [&](std::size_t slot, std::uint32_t pair) {
    if (queued[slot]) {
      threads.Wait(chunks[slot], splitter, all);
      loaded.Take(chunks[slot]);
      queued[slot] = false;
    }
    chunks[slot].Reuse(pair);
  };
  // Queues the chunk filled, once its words are inserted. Their text is
  // had at about its size once, instead of growing by copies, when the
  // first walk bucket is read: the words of a bucket come oldest first, the
  // commonest and shortest words, so only a whole bucket tells how long
  // words are, and any bucket as well as another.
  bool sized = false;
  std::uint64_t seenUnits = 0;
  std::uint64_t seenWords = 0;
  const auto size = [&](const Chunk& chunk) {
    seenUnits += chunk.keys.size();
    seenWords += chunk.Lists();
    const auto bucket = [&words](Id word) { return WalkHash(words.Word(word)) % WordIndex::kWalkBuckets; };
    if (bucket(chunk.words.back()) == bucket(0)) return;
    sized = true;
    // An eighth to spare, and no more than the file could hold.
    const double guess = static_cast<double>(seenUnits) / static_cast<double>(seenWords) * room * 9 / 8;
    const std::uint64_t most = seenUnits + ar.BytesLeft() / 2;
    words.ReserveWords(room, guess < static_cast<double>(most) ? static_cast<std::size_t>(guess)
                                                                : static_cast<std::size_t>(most));
  };
  const auto queue = [&] {
    loaded.InsertWords(chunks[filling]);
    if (!sized) size(chunks[filling]);
    threads.Add(chunks[filling]);
    queued[filling] = true;
  };
  takeBack(filling, 0);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (progress != nullptr && i % 1024 == 0) progress->Working(i, count);
    if (chunks[filling].units >= kChunkUnits || chunks[filling].Lists() >= kChunkLists ||
        chunks[filling].blocks.size() >= kChunkBlocks) {
      queue();
      filling = (filling + 1) % kChunks;
      takeBack(filling, i);
    }
    Chunk& chunk = chunks[filling];
    chunk.ReadKey(ar);
    chunk.ReadList(ar);
  }
  if (chunks[filling].Lists() > 0) queue();
  threads.Close();
  for (std::size_t n = 1; n <= kChunks; ++n) {
    const std::size_t slot = (filling + n) % kChunks;  // the oldest first
    if (queued[slot]) takeBack(slot, 0);
  }
  threads.Finish();
  loaded.Finish();
  words.ReverseWordInsertions();
}
