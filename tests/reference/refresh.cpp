#include "tests/reference/refresh.h"

#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include "tests/reference/index_file.h"
#include "tests/reference/map.h"
#include "tests/reference/search_window.h"
#include "index/refresh.h"
#include "index/notes_folder.h"
#include "index/stamp.h"
#include "tests/reference/word_index.h"
#include "platform/text/ansi_text.h"
#include "platform/framework/exceptions.h"
#include "platform/text/file_names.h"
#include "platform/text/lower_case.h"

namespace reference {

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

// The note's text: what one read gets of its first kMaxNoteBytes bytes, up
// to the first zero byte. Nothing when it cannot be opened or read, or the
// buffer cannot be had. The length comes from the enumeration, so a note
// that grew since is read only that far, and one that shrank ends early.
std::optional<std::string> ReadText(Env& env, const NoteEntry& entry) {
  std::unique_ptr<CFile> file = env.OpenForRead(entry.path);
  if (file == nullptr) return std::nullopt;
  try {
    std::string text(entry.length < kMaxNoteBytes ? entry.length : kMaxNoteBytes, '\0');
    text.resize(file->Read(text.data(), text.size()));
    // As the program does: a note found emptied since it was listed (an
    // editor saving in place) is left for the next refresh.
    if (text.empty()) return std::nullopt;
    if (const std::size_t zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
    return text;
  } catch (const CFileException&) {
    return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
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

// Deletes the note sets however the refresh ends.
class FreeOnExit {
 public:
  explicit FreeOnExit(WordIndex& words) : words_(words) {}
  ~FreeOnExit() { Free(words_); }
  FreeOnExit(const FreeOnExit&) = delete;
  FreeOnExit& operator=(const FreeOnExit&) = delete;

 private:
  WordIndex& words_;
};

}  // namespace

void Refresh(Env& env, const std::u16string& folderText, SearchWindow& window) {
  const std::u16string folder = folderText.ends_with(u'/') ? folderText : folderText + u'/';

  CMapStringToString seen;
  CMapStringToString stamps;
  CMapStringToString wordLists;
  WordIndex words;
  FreeOnExit freeWords(words);

  LoadIndexFile(env, folder, stamps, wordLists, &words);
  // The word index now holds the same; Flatten refills the lists before any
  // save, and a refresh that changes nothing need not hold both.
  wordLists.Clear();

  // One offset for the whole scan, so that all stamps agree.
  const std::int64_t utcOffset = env.UtcOffsetNow();
  // The same age rule for empty notes as the program's, so that both sides
  // delete the same notes.
  const std::int64_t writtenBefore = env.Now() - ::kEmptyNoteMinAge;
  bool changed = false;
  // As the program does: a note a broken-off listing did not reach may
  // still be there, so nothing is taken for gone then.
  ListingFacts listing;
  for (const NoteEntry& entry : FindNotes(env, folder, {}, &listing)) {
    if (entry.length == 0) {
      if (entry.lastWrite < writtenBefore) env.DeleteIfEmpty(entry.path, writtenBefore);
      continue;
    }
    const std::u16string stamp = MakeStamp(entry.lastWrite, utcOffset);
    const auto* known = stamps.FindEntry(entry.name);
    if (known != nullptr && known->value == stamp) {
      seen.SetValue(entry.name, u"");
      continue;
    }

    std::optional<std::string> text = ReadText(env, entry);
    if (!text) {
      // Kept (not gone) but not stamped, so the next refresh tries again.
      seen.SetValue(entry.name, u"");
      continue;
    }
    changed = true;
    std::u16string name = entry.name;
    if (IsTimeNamed(name)) name = RenameAfterWords(env, folder, entry, BaseName(*text));
    ForEachWord(*text, [&](std::string_view word) { AddWord(word, name, words); });
    text.reset();
    stamps.SetValue(name, stamp);
    seen.SetValue(name, u"");
  }

  CMapStringToString vanished;
  for (const auto* e = stamps.FirstEntry(); e != nullptr && listing.whole; e = stamps.NextEntry(e)) {
    if (seen.FindEntry(e->key) == nullptr) vanished.SetValue(e->key, u"");
  }
  if (vanished.Count() != 0) changed = true;
  for (const auto* e = vanished.FirstEntry(); e != nullptr; e = vanished.NextEntry(e)) {
    stamps.RemoveEntry(e->key);
    RemoveNote(e->key, words);
  }

  if (changed) {
    Flatten(words, wordLists);
    SaveIndexFile(env, folder, stamps, wordLists);
  }

  window.Show(words, folder);
}

}  // namespace reference
