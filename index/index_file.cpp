#include "index/index_file.h"

#include <memory>
#include <new>
#include <vector>

#include "index/archive.h"
#include "platform/exceptions.h"

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

void ReadWordLists(CArchive& ar, WordIndex& words, RefreshProgress* progress) {
  std::u16string key;
  std::u16string list;
  std::vector<std::uint32_t> lastList;  // per note id: the list that last named it
  std::uint32_t listNumber = 0;
  NoteGuess guess;
  const std::uint32_t count = ar.ReadCountOf(2);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (progress != nullptr && i % 1024 == 0) progress->Working(i, count);
    ar.ReadString(key);
    ar.ReadString(list);
    const WordIndex::Id word = words.InsertWord(UpToNul(key));
    ++listNumber;
    std::vector<WordIndex::Id> notes;
    const std::u16string_view names = UpToNul(list);
    WordIndex::Id previous = WordIndex::kNone;
    for (std::size_t begin = names.find_first_not_of(u':'); begin != std::u16string_view::npos;) {
      const std::size_t end = names.find(u':', begin);
      const std::u16string_view name = names.substr(begin, end - begin);
      WordIndex::Id note = guess.Next(previous);
      if (note == WordIndex::kNone || words.NoteName(note) != name) note = words.InternNote(name);
      guess.Saw(previous, note);
      previous = note;
      if (note >= lastList.size()) lastList.resize(note + 1, 0);
      if (lastList[note] != listNumber) {
        lastList[note] = listNumber;
        notes.push_back(note);
      }
      begin = end == std::u16string_view::npos ? end : names.find_first_not_of(u':', end);
    }
    words.SetLoadedNotes(word, std::move(notes));
  }
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
  stamps.Exchange(ar);
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
    stamps.Exchange(ar);
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
  if (written && env.ReplaceFile(tempPath, folder + kIndexFileName)) return true;
  env.RemoveFile(tempPath);
  return false;
}
