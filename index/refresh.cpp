#include "index/refresh.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

#include "index/background_listing.h"
#include "index/index_file.h"
#include "index/map.h"
#include "index/notes_folder.h"
#include "index/refresh_progress.h"
#include "index/search_window.h"
#include "index/start_thread.h"
#include "index/stamp.h"
#include "index/word_index.h"
#include "index/word_splitter.h"
#include "platform/text/ansi_text.h"
#include "platform/framework/exceptions.h"
#include "platform/text/file_names.h"
#include "platform/text/lower_case.h"

namespace {

// Words are appended to a base name while it is shorter than this; the last
// one may take it past.
constexpr std::size_t kBaseNameLimit = 180;

// New notes are named "note-<time>.txt" until their first words name them.
bool IsTimeNamed(const std::u16string& name) {
  if (name.size() < 5) return false;
  std::u16string head = name.substr(0, 5);
  LowerCaseInPlace(head);
  return head == u"note-";
}

// How often work on one large note is told to the progress.
constexpr std::chrono::milliseconds kReportEvery(50);
// A large note is read in pieces of this size, the progress told between
// them: on a slow disk or a network folder one note may take seconds.
constexpr std::size_t kReadPiece = std::size_t{256} << 10;

// The note's text: its first kMaxNoteBytes bytes, up to the first zero
// byte. Nothing when it cannot be opened or read, when it has been emptied
// since it was listed, or when the buffer cannot be had. The length comes
// from the enumeration, so a note that grew since is read only that far,
// and one that shrank ends early. working is called between pieces; what
// it throws goes on to the caller.
std::optional<std::string> ReadText(Env& env, const NoteEntry& entry,
                                    const std::function<void()>& working) {
  std::unique_ptr<CFile> file = env.OpenForRead(entry.path);
  if (file == nullptr) return std::nullopt;
  std::string text;
  try {
    text.assign(entry.length < kMaxNoteBytes ? entry.length : kMaxNoteBytes, '\0');
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  std::size_t got = 0;
  for (;;) {
    const std::size_t want = std::min(kReadPiece, text.size() - got);
    std::size_t read = 0;
    try {
      read = file->Read(text.data() + got, want);
    } catch (const CFileException&) {
      return std::nullopt;
    }
    got += read;
    if (read < want || got == text.size()) break;
    working();
  }
  text.resize(got);
  // Listed with text, found empty: an editor saving in place has cut it
  // and not yet written it again. Read now, a time-named note would be
  // named after no words; it is left for the next refresh instead.
  if (text.empty()) return std::nullopt;
  if (const std::size_t zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
  return text;
}

// The first words of text joined by single spaces, case kept.
std::u16string BaseName(std::string_view text) {
  std::u16string base;
  ForEachWord(text, [&base](std::string_view word) {
    if (base.size() >= kBaseNameLimit) return;
    if (!base.empty()) base += u' ';
    base += AnsiToWide(word);
  });
  return base;
}

// The system limits a file name's length (Linux: 255 bytes). A base name of
// long words in a non-Latin script passes that well before 180 characters,
// so words are dropped from its end until the name fits (a single word too
// long is cut).
std::u16string FitName(Env& env, const std::u16string& folder, std::u16string base,
                       const std::u16string& suffix) {
  // No system takes more than 255 code units, so no longer prefix can fit;
  // a note of one huge word is cut here first instead of a unit at a time.
  constexpr std::size_t kMaxNameUnits = 255;
  if (base.size() > kMaxNameUnits) base.resize(kMaxNameUnits + 1);
  while (!base.empty() && !env.NameFits(folder, base + suffix)) {
    if (const std::size_t space = base.rfind(u' '); space != std::u16string::npos) {
      base.resize(space);
      continue;
    }
    base.pop_back();
    if (!base.empty() && base.back() >= 0xD800 && base.back() <= 0xDBFF) base.pop_back();
  }
  return base + suffix;
}

void AppendDecimal(std::u16string& text, int n) {
  for (const char digit : std::to_string(n)) text += static_cast<char16_t>(digit);
}

// Renames a time-named note to "<base>.txt", or the first free of
// "<base>.0.txt" ... while the names are taken, each cut to the file
// system's name length. Returns the name the note
// has afterwards: its old one when a rename fails for another reason (a
// read-only folder, a name too long) or every numbered name is taken.
std::u16string RenameAfterWords(Env& env, const std::u16string& folder, const NoteEntry& entry,
                                const std::u16string& base) {
  for (int n = -1; n < kMaxNumberedNames; ++n) {
    std::u16string suffix;
    if (n >= 0) {
      suffix += u'.';
      AppendDecimal(suffix, n);
    }
    suffix += u".txt";
    const std::u16string name = FitName(env, folder, base, suffix);
    switch (env.RenameNoReplace(entry.path, folder + name)) {
      case Env::RenameResult::done:
        return name;
      case Env::RenameResult::targetExists:
        continue;
      case Env::RenameResult::failed:
        return entry.name;
    }
  }
  return entry.name;
}

// Notes read but not yet indexed. Their texts are split into words on a
// second thread while later notes are read (as they are added, when the
// system gives no thread); they are indexed in the order they were read, so
// the index is the same as if each were indexed at once.
class PendingNotes {
 public:
  // working is called every so often while one note holds the work up.
  PendingNotes(WordIndex& words, std::function<void()> working)
      : m_words(words), m_working(std::move(working)) {}
  PendingNotes(const PendingNotes&) = delete;
  PendingNotes& operator=(const PendingNotes&) = delete;

  void Add(const std::u16string& name, std::string text) {
    const std::size_t bytes = text.size();
    m_pending.push_back(Pending{name, m_splitter.Split(std::move(text)), bytes});
    m_bytes += bytes;
    // Notes split already are indexed now, while the splitter goes on with
    // later ones, rather than all at the end while it has nothing to do.
    while (m_pending.front().words.Ready()) {
      IndexOldest();
      if (m_pending.empty()) return;
    }
    // Bounds the texts held at once.
    while (m_pending.size() > kMaxNotes || m_bytes > kMaxBytes) {
      // When the splitter is behind, this waits for a run of notes rather
      // than for each one: the splitter does them in order, so they are all
      // ready then, and both threads are woken once per run instead of once
      // per note.
      if (!m_pending.front().words.Ready()) {
        Await(m_pending[std::min(kWaitRun, m_pending.size()) - 1].words);
      }
      IndexOldest();
    }
  }

  void Finish() {
    while (!m_pending.empty()) IndexOldest();
  }

 private:
  static constexpr std::size_t kMaxNotes = 256;
  static constexpr std::size_t kMaxBytes = std::size_t{32} << 20;
  static constexpr std::size_t kWaitRun = 32;

  struct Pending {
    std::u16string name;
    SplitResult words;
    std::size_t bytes;
  };

  void IndexOldest() {
    Pending note = std::move(m_pending.front());
    m_pending.pop_front();
    m_bytes -= note.bytes;
    Await(note.words);
    const SplitText split = note.words.Get();
    if (split.runs.empty()) return;
    std::vector<WordIndex::Id>& ids = m_ids;
    ids.clear();
    for (const std::uint32_t run : split.runs) {
      // Runs new in this note come in number order, right after the known ones.
      if (run == m_runWords.size()) {
        const std::uint64_t strong = split.NewWord(run, m_word);
        m_runWords.push_back(m_words.InsertWord(m_word, strong));
        // One note may bring millions of new words.
        if (m_runWords.size() % kWordsBetweenReports == 0) m_working();
      }
      ids.push_back(m_runWords[run]);
    }
    m_words.AddNote(m_words.InternNote(note.name), ids);
  }

  void Await(SplitResult& words) {
    while (!words.Wait(kReportEvery)) m_working();
  }

  static constexpr std::size_t kWordsBetweenReports = std::size_t{1} << 16;

  WordIndex& m_words;
  std::function<void()> m_working;
  std::vector<WordIndex::Id> m_runWords;  // the splitter's run number to its word
  std::vector<WordIndex::Id> m_ids;       // the word ids of the note being indexed
  std::u16string m_word;                  // the last new word, its storage reused
  WordSplitter m_splitter;
  std::deque<Pending> m_pending;
  std::size_t m_bytes = 0;
};

// Writes notes.ndx on a second thread while the search window is already
// open: the index is complete and only read from here on, by the window
// and by the save alike. The folder lock goes with the save and is let go
// on the save thread as soon as the file is in place, so the next refresh
// of the folder waits for the save but not for the window. When the system
// gives no thread, the file is saved here, before the window opens, and
// the lock let go after it all the same.
class BackgroundSave {
 public:
  // words.Walk() must be built already: the save and the window read it at
  // once. Throws std::bad_alloc when memory runs out before the save
  // begins (the lock is then let go and nothing was written). progress
  // hears of a save made here, before the window.
  BackgroundSave(Env& env, const std::u16string& folder, CMapStringToString& stamps,
                 const WordIndex& words, std::unique_ptr<Env::FolderLock> lock,
                 RefreshProgress& progress)
      : m_lock(std::move(lock)), m_thread(StartThread([this, &env, &folder, &stamps, &words] {
          Save(env, folder, stamps, words, nullptr);
        })) {
    if (!m_thread.joinable()) Save(env, folder, stamps, words, &progress);
  }
  // Waits for the save, so that a refresh unwinding past it never leaves
  // the thread running over a freed index.
  ~BackgroundSave() {
    if (m_thread.joinable()) m_thread.join();
  }
  BackgroundSave(const BackgroundSave&) = delete;
  BackgroundSave& operator=(const BackgroundSave&) = delete;

  // Waits for the save and rethrows what it could not cope with (exhausted
  // memory); the old index is then left as it was.
  void Finish() {
    if (m_thread.joinable()) m_thread.join();
    if (m_failure) std::rethrow_exception(m_failure);
  }

 private:
  void Save(Env& env, const std::u16string& folder, CMapStringToString& stamps, const WordIndex& words,
            RefreshProgress* progress) {
    // An exception must not leave the thread: it is kept for Finish.
    try {
      SaveIndexFile(env, folder, stamps, words, progress);
    } catch (...) {
      m_failure = std::current_exception();
    }
    m_lock.reset();
  }

  std::unique_ptr<Env::FolderLock> m_lock;
  std::exception_ptr m_failure;
  std::thread m_thread;
};

// Notes from this many on are checked on two threads: a thread costs less
// than looking that many notes up.
constexpr std::size_t kTwoThreadsFrom = 1024;

// For each entry, its recorded entry when it is not empty and its stamp is
// the recorded one, else null; and in repeats, whether the listing holds a
// name twice (side by side, in its order). Each check is a lookup that
// mostly misses the processor's caches, so a large folder is checked in two
// halves at once; the names are compared with their neighbours while they
// are at hand. Throws std::bad_alloc when memory runs out. Without a
// second thread the halves are checked one after the other.
std::vector<const CMapStringToString::CPair*> UnchangedNotes(const CMapStringToString& stamps,
                                                             const std::vector<NoteEntry>& entries,
                                                             std::int64_t utcOffset, bool& repeats) {
  std::vector<const CMapStringToString::CPair*> unchanged(entries.size());
  // Throws nothing: stamps is only read, here and on the other thread.
  // Names are looked up a group at a time, so that the misses overlap.
  // Each part compares its first name with the one before it, so the pair
  // where two parts meet is compared too.
  const auto check = [&](std::size_t begin, std::size_t end, bool& repeated) noexcept {
    constexpr std::size_t kGroup = 256;
    std::u16string_view names[kGroup];
    const CMapStringToString::CPair* known[kGroup];
    std::u16string_view previous;
    if (begin > 0 && begin < end) previous = entries[begin - 1].name;
    repeated = false;
    for (std::size_t base = begin; base < end; base += kGroup) {
      const std::size_t n = std::min(kGroup, end - base);
      for (std::size_t i = 0; i < n; ++i) {
        names[i] = entries[base + i].name;
        if (base + i > 0 && names[i] == previous) repeated = true;
        previous = names[i];
      }
      stamps.FindEntries(std::span(names, n), known);
      for (std::size_t i = 0; i < n; ++i) {
        const NoteEntry& entry = entries[base + i];
        if (entry.length == 0 || known[i] == nullptr) continue;
        if (known[i]->value == StampText(entry.lastWrite, utcOffset).View()) unchanged[base + i] = known[i];
      }
    }
  };
  if (entries.size() < kTwoThreadsFrom) {
    check(0, entries.size(), repeats);
    return unchanged;
  }
  const std::size_t half = entries.size() / 2;
  bool repeatedInSecond = false;
  std::thread other = StartThread([&check, half, &entries, &repeatedInSecond] {
    check(half, entries.size(), repeatedInSecond);
  });
  check(0, half, repeats);
  if (other.joinable()) {
    other.join();
  } else {
    check(half, entries.size(), repeatedInSecond);
  }
  repeats = repeats || repeatedInSecond;
  return unchanged;
}

// Tells words which indexed notes the scan will read again: those not
// found unchanged.
void ExpectChangedNotes(WordIndex& words, const std::vector<NoteEntry>& entries,
                        const std::vector<const CMapStringToString::CPair*>& unchanged) {
  if (words.NoteCount() == 0) return;  // a first refresh reads only new notes
  std::vector<WordIndex::Id> again;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (unchanged[i] != nullptr || entries[i].length == 0) continue;
    if (const WordIndex::Id note = words.FindNote(entries[i].name); note != WordIndex::kNone) again.push_back(note);
  }
  words.ExpectAddedAgain(again);
}

// The keys of the recorded notes the scan did not see. seen holds the
// entries it saw; when seenOnce, none of them twice.
std::vector<std::u16string> VanishedNotes(const CMapStringToString& stamps,
                                          std::vector<const CMapStringToString::CPair*>& seen,
                                          bool seenOnce) {
  // All seen: the usual refresh of an unchanged folder needs no search.
  if (seenOnce && seen.size() == static_cast<std::size_t>(stamps.Count())) return {};
  // Ordered as addresses, only to be searched. Every entry seen is one of
  // the map's, so as many distinct ones as the map holds are all of them.
  std::sort(seen.begin(), seen.end(), std::less<>());
  seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
  if (seen.size() == static_cast<std::size_t>(stamps.Count())) return {};
  std::vector<std::u16string> vanished;
  for (const auto* e = stamps.FirstEntry(); e != nullptr; e = stamps.NextEntry(e)) {
    if (!std::binary_search(seen.begin(), seen.end(), e, std::less<>())) vanished.push_back(e->key);
  }
  return vanished;
}

// A progress that tells nobody.
class NoProgress : public RefreshProgress {
 public:
  void Working(std::size_t, std::size_t) override {}
  void Done() override {}
};

}  // namespace

void Refresh(Env& env, const std::u16string& folderText, SearchWindow& window,
             RefreshProgress* progress) {
  NoProgress quiet;
  RefreshProgress& report = progress != nullptr ? *progress : quiet;
  const bool ended = kPathSeparators.find(folderText.back()) != std::u16string_view::npos;
  const std::u16string folder = ended ? folderText : folderText + kPathSeparators.front();

  CMapStringToString stamps;
  // The stamps of the notes found now, whether or not they were read; every
  // other stamp's note is gone. Entries never move while the map holds them.
  std::vector<const CMapStringToString::CPair*> seen;
  WordIndex words;

  // Another refresh of this folder may be renaming notes and saving its
  // index right now: wait for it, and keep the window out of the lock.
  std::unique_ptr<Env::FolderLock> lock = env.LockFolder(folder, [&report] { report.Working(0, 0); });

  // Listed while the index loads. Killed runs' leftovers go while the turn
  // is held.
  BackgroundListing listing(env, folder, lock != nullptr);
  LoadIndexFile(env, folder, stamps, words, &report);

  // One offset for the whole scan, so that all stamps agree.
  const std::int64_t utcOffset = env.UtcOffsetNow();
  const std::int64_t now = env.Now();
  bool changed = false;
  bool readAny = false;
  const std::vector<NoteEntry> entries = listing.Finish(report);
  bool repeats = false;  // the listing holds a name twice
  const std::vector<const CMapStringToString::CPair*> unchanged =
      UnchangedNotes(stamps, entries, utcOffset, repeats);
  seen.reserve(entries.size());
  ExpectChangedNotes(words, entries, unchanged);
  std::size_t at = 0;  // the entry the progress hears of
  const std::function<void()> working = [&report, &at, &entries] { report.Working(at, entries.size()); };
  std::optional<PendingNotes> pending;  // made for the first note read
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const NoteEntry& entry = entries[i];
    at = i;
    working();
    if (entry.length == 0) {
      // A young empty note may be an editor's save half done: it is left
      // alone, unrecorded, for a later refresh to delete.
      const std::int64_t writtenBefore = now - kEmptyNoteMinAge;
      if (entry.lastWrite < writtenBefore) env.DeleteIfEmpty(entry.path, writtenBefore);
      continue;
    }
    // Found unchanged before the scan. The scan removes no entry, so a
    // lookup would find this one still; only its stamp may have been set
    // since a note was read (and renamed onto this name).
    const auto* known = unchanged[i];
    if (known != nullptr && !readAny) {
      seen.push_back(known);
      continue;
    }
    const StampText stamp(entry.lastWrite, utcOffset);
    if (known == nullptr) known = stamps.FindEntry(entry.name);
    if (known != nullptr && known->value == stamp.View()) {
      seen.push_back(known);
      continue;
    }

    std::optional<std::string> text = ReadText(env, entry, working);
    if (!text) {
      // Kept (not gone) but not stamped, so the next refresh tries again.
      if (known != nullptr) seen.push_back(known);
      continue;
    }
    changed = true;
    readAny = true;
    std::u16string name = entry.name;
    if (IsTimeNamed(name)) name = RenameAfterWords(env, folder, entry, BaseName(*text));
    if (!pending) pending.emplace(words, working);
    pending->Add(name, std::move(*text));
    text.reset();
    stamps.SetValue(name, std::u16string(stamp.View()));
    seen.push_back(stamps.FindEntry(name));
  }

  if (pending) pending->Finish();
  pending.reset();

  // Vanished notes leave every note set in one pass over the index.
  // A note read may have been renamed onto a name the listing holds too
  // (another program removed that file meanwhile), so only the entries of
  // unread notes are known to be seen once, and only when the listing
  // repeats no name (a repeated name would lie beside itself in its order).
  // A listing that broke off (a folder that cannot be read, a failing
  // disk) cannot tell a vanished note from an unlisted one: every recorded
  // note is kept then, for a whole listing to settle.
  const bool seenOnce = !readAny && !repeats;
  std::vector<bool> gone;
  const std::vector<std::u16string> vanished =
      listing.ListedWhole() ? VanishedNotes(stamps, seen, seenOnce) : std::vector<std::u16string>{};
  for (const std::u16string& name : vanished) {
    changed = true;
    stamps.RemoveEntry(name);
    if (const WordIndex::Id note = words.FindNote(name); note != WordIndex::kNone) {
      if (gone.size() <= note) gone.resize(note + 1);
      gone[note] = true;
    }
  }
  if (!gone.empty()) words.RemoveNotes(gone);

  // Ordered now, while the user waits for the window anyway, so that the
  // first key typed is answered as fast as the others; and before the save
  // starts, since from then on the index is only read, on two threads.
  words.Walk();
  std::optional<BackgroundSave> save;
  if (changed) {
    save.emplace(env, folder, stamps, words, std::move(lock), report);
  } else {
    lock.reset();
  }
  report.Done();
  window.Show(words, folder);
  if (save) save->Finish();
}
