#include "index/index_file.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "index/archive.h"
#include "index/start_thread.h"
#include "platform/framework/exceptions.h"

namespace {

// Cuts text at its first NUL, as every key and value of a map is.
std::u16string_view UpToNul(const std::u16string& text) {
  return std::u16string_view(text.c_str());
}

// Lists repeat one another: every note set is filled in the order the
// notes were read, so after a name the next one is mostly the one that
// followed it in an earlier list. That guess is checked against the name
// itself, so it saves a hash lookup and never changes the result.
class NoteGuess {
 public:
  WordIndex::Id Next(WordIndex::Id previous) const {
    if (previous == WordIndex::kNone) return m_first;
    return previous < m_next.size() ? m_next[previous] : WordIndex::kNone;
  }
  void Saw(WordIndex::Id previous, WordIndex::Id note) {
    if (previous == WordIndex::kNone) {
      m_first = note;
      return;
    }
    if (previous >= m_next.size()) m_next.resize(previous + 1, WordIndex::kNone);
    m_next[previous] = note;
  }

 private:
  WordIndex::Id m_first = WordIndex::kNone;
  std::vector<WordIndex::Id> m_next;  // per note id
};

// Splits word lists into note ids on a second thread while the archive is
// read on the first. Only this thread interns names (the word index lets
// names and words be touched by different threads), and it keeps the ids of
// each list until the reading is over, so results do not depend on timing.
class ListSplitter {
 public:
  // Throws std::bad_alloc when the thread cannot be started.
  explicit ListSplitter(WordIndex& words) : m_words(words), m_thread(StartThread([this] { Run(); })) {}
  // After a failure of the reader: drops the lists queued and stops.
  ~ListSplitter() {
    if (!m_thread.joinable()) return;
    Stop(true);
    m_thread.join();
  }
  ListSplitter(const ListSplitter&) = delete;
  ListSplitter& operator=(const ListSplitter&) = delete;

  // Queues list (taken over). Lists go to the thread in batches, and the
  // reader waits while much text is queued already. Rethrows a failure of
  // the thread as soon as it is seen, so the reader stops reading.
  void Add(std::u16string&& list) {
    m_batchUnits += list.size() + 1;
    m_batch.push_back(std::move(list));
    if (m_batch.size() >= kBatchLists || m_batchUnits >= kBatchUnits) Send();
  }

  // Waits for every list queued; the ids of list i, in the order they were
  // given, are then Result(i). Rethrows a failure of the thread.
  void Finish() {
    if (!m_batch.empty()) Send();
    Stop(false);
    m_thread.join();
    if (m_failure) std::rethrow_exception(m_failure);
  }
  std::vector<WordIndex::Id>& Result(std::size_t i) { return m_results[i]; }

 private:
  static constexpr std::size_t kMaxQueuedUnits = std::size_t{4} << 20;
  static constexpr std::size_t kBatchLists = 512;
  static constexpr std::size_t kBatchUnits = std::size_t{256} << 10;

  void Send() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_roomLeft.wait(lock, [this] { return m_queuedUnits < kMaxQueuedUnits || m_failure; });
    if (m_failure) std::rethrow_exception(m_failure);
    m_queuedUnits += m_batchUnits;
    m_queue.push_back(Batch{std::move(m_batch), m_batchUnits});
    m_batch.clear();
    m_batchUnits = 0;
    m_ready.notify_one();
  }

  void Stop(bool dropQueued) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
    if (dropQueued) m_queue.clear();
    m_ready.notify_one();
    m_roomLeft.notify_all();
  }

  void Run() {
    try {
      for (;;) {
        Batch batch;
        {
          std::unique_lock<std::mutex> lock(m_mutex);
          m_ready.wait(lock, [this] { return m_stop || !m_queue.empty(); });
          if (m_queue.empty()) return;
          batch = std::move(m_queue.front());
          m_queue.pop_front();
          m_queuedUnits -= batch.units;
          m_roomLeft.notify_one();
        }
        for (const std::u16string& list : batch.lists) m_results.push_back(Split(UpToNul(list)));
      }
    } catch (...) {
      const std::lock_guard<std::mutex> lock(m_mutex);
      m_failure = std::current_exception();
      m_roomLeft.notify_all();
    }
  }

  // The distinct names of one list, interned, in list order.
  std::vector<WordIndex::Id> Split(std::u16string_view names) {
    ++m_listNumber;
    std::vector<WordIndex::Id> notes;
    WordIndex::Id previous = WordIndex::kNone;
    for (std::size_t begin = names.find_first_not_of(u':'); begin != std::u16string_view::npos;) {
      const std::size_t end = names.find(u':', begin);
      const std::u16string_view name = names.substr(begin, end - begin);
      WordIndex::Id note = m_guess.Next(previous);
      if (note == WordIndex::kNone || m_words.NoteName(note) != name) note = m_words.InternNote(name);
      m_guess.Saw(previous, note);
      previous = note;
      if (note >= m_lastList.size()) m_lastList.resize(note + 1, 0);
      if (m_lastList[note] != m_listNumber) {
        m_lastList[note] = m_listNumber;
        notes.push_back(note);
      }
      begin = end == std::u16string_view::npos ? end : names.find_first_not_of(u':', end);
    }
    return notes;
  }

  WordIndex& m_words;
  NoteGuess m_guess;
  std::vector<std::uint32_t> m_lastList;  // per note id: the list that last named it
  std::uint32_t m_listNumber = 0;
  std::vector<std::vector<WordIndex::Id>> m_results;

  std::mutex m_mutex;
  std::condition_variable m_ready;
  std::condition_variable m_roomLeft;
  struct Batch {
    std::vector<std::u16string> lists;
    std::size_t units = 0;
  };
  std::vector<std::u16string> m_batch;  // the reader's, not yet sent
  std::size_t m_batchUnits = 0;
  std::deque<Batch> m_queue;
  std::size_t m_queuedUnits = 0;
  bool m_stop = false;
  std::exception_ptr m_failure;
  std::thread m_thread;
};

void ReadWordLists(CArchive& ar, WordIndex& words, RefreshProgress* progress) {
  const std::uint32_t count = ar.ReadCountOf(2);
  std::vector<WordIndex::Id> listWords;
  listWords.reserve(count);  // the count fits in the file, so this is bounded by it
  ListSplitter splitter(words);
  std::u16string key;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (progress != nullptr && i % 1024 == 0) progress->Working(i, count);
    ar.ReadString(key);
    std::u16string list;
    ar.ReadString(list);
    listWords.push_back(words.InsertWord(UpToNul(key)));
    splitter.Add(std::move(list));
  }
  splitter.Finish();
  // A word read twice keeps its first place and takes its later list.
  for (std::uint32_t i = 0; i < count; ++i) words.SetLoadedNotes(listWords[i], std::move(splitter.Result(i)));
  words.ReverseWordInsertions();
}

void WriteWordLists(CArchive& ar, const WordIndex& words, RefreshProgress* progress) {
  const std::vector<WordIndex::Id> order = words.SaveOrder();
  const WordIndex::WalkOrder& walk = words.Walk();
  ar.WriteCount(static_cast<std::uint32_t>(order.size()));
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (progress != nullptr && i % 1024 == 0) progress->Working(i, order.size());
    const WordIndex::Id word = order[i];
    ar.WriteString(words.Word(word));
    const std::span<const WordIndex::Id> notes = walk.NotesAt(walk.position[word]);
    std::uint64_t length = notes.size() - 1;  // the ':' between names
    for (const WordIndex::Id note : notes) length += words.NoteName(note).size();
    ar.WriteStringLength(length);
    for (std::size_t i = 0; i < notes.size(); ++i) {
      if (i != 0) ar.WriteUnits(u":");
      ar.WriteUnits(words.NoteName(notes[i]));
    }
  }
}

void Store(CFile& file, CMapStringToString& stamps, const WordIndex& words,
           RefreshProgress* progress) {
  CArchive ar(file, CArchive::store);
  stamps.Exchange(ar, progress);
  WriteWordLists(ar, words, progress);
  ar.Close();
  file.Flush();
  file.Close();
}

}  // namespace

void LoadIndexFile(Env& env, const std::u16string& folder, CMapStringToString& stamps,
                   WordIndex& words, RefreshProgress* progress) {
  // One failure scope for both sections: whatever fails, the caller sees an
  // empty index and treats every note as new.
  try {
    const std::unique_ptr<CFile> file = env.OpenForRead(folder + kIndexFileName);
    if (!file) return;
    CArchive ar(*file, CArchive::load);
    stamps.Exchange(ar, progress);
    ReadWordLists(ar, words, progress);
    ar.Close();
    file->Close();
    return;
  } catch (const CException&) {
  } catch (const std::bad_alloc&) {
  }
  stamps.Clear();
  words = WordIndex();
}

bool SaveIndexFile(Env& env, const std::u16string& folder, CMapStringToString& stamps,
                   const WordIndex& words, RefreshProgress* progress) {
  // Written beside the old file and renamed over it, so that a crash or a
  // full disk never leaves a half-written index behind.
  std::u16string tempPath;
  std::unique_ptr<CFile> file = env.CreateTempFile(folder, &tempPath);
  if (!file) return false;
  bool written = false;
  try {
    Store(*file, stamps, words, progress);
    written = true;
  } catch (const CException&) {
  } catch (const std::bad_alloc&) {
  }
  file.reset();
  if (written && env.RenameReplacing(tempPath, folder + kIndexFileName)) return true;
  env.RemoveFile(tempPath);
  return false;
}
