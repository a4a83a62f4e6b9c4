#include "index/index_file.h"

#include <memory>
#include <new>
#include <vector>

#include "index/archive.h"
#include "index/word_list_reader.h"
#include "platform/framework/exceptions.h"

namespace {

// Every note's name with a ':' in front, one after another in id order,
// and kPaddingUnits NULs behind the last, so that each piece's storage goes
// on as far as CArchive::WritePaddedUnits asks: a name and its separator go
// into a word list as one short copy.
class SeparatedNames {
 public:
  explicit SeparatedNames(const WordIndex& words) {
    m_begin.reserve(words.NoteCount() + 1);
    for (WordIndex::Id note = 0; note < words.NoteCount(); ++note) {
      m_begin.push_back(m_text.size());
      m_text += u':';
      m_text += words.NoteName(note);
    }
    m_begin.push_back(m_text.size());
    m_text.append(CArchive::kPaddingUnits, u'\0');
  }

  // ':' and the name of note.
  std::u16string_view operator[](WordIndex::Id note) const {
    return std::u16string_view(m_text).substr(m_begin[note], m_begin[note + 1] - m_begin[note]);
  }

 private:
  std::u16string m_text;
  std::vector<std::size_t> m_begin;  // per note, one more at the end
};

void WriteWordLists(CArchive& ar, const WordIndex& words, RefreshProgress* progress) {
  const std::vector<WordIndex::Id> order = words.SaveOrder();
  const WordIndex::WalkOrder& walk = words.Walk();
  const SeparatedNames names(words);
  ar.WriteCount(static_cast<std::uint32_t>(order.size()));
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (progress != nullptr && i % 1024 == 0) progress->Working(i, order.size());
    const WordIndex::Id word = order[i];
    ar.WriteString(words.Word(word));
    // Never empty: SaveOrder leaves out words without notes.
    const std::span<const WordIndex::Id> notes = walk.NotesAt(walk.position[word]);
    std::uint64_t length = 0;
    for (const WordIndex::Id note : notes) length += names[note].size();
    ar.WriteStringLength(length - 1);  // no ':' before the first name
    ar.WritePaddedUnits(names[notes.front()].substr(1));
    for (const WordIndex::Id note : notes.subspan(1)) ar.WritePaddedUnits(names[note]);
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
    ReadWordLists(ar, stamps, words, progress);
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
  // The old file was read when the refresh began and is about to go: the
  // memory that caches it is better used for the new one.
  env.DropCachedBytes(folder + kIndexFileName);
  // Exhausted memory is the caller's to report: it goes on once the
  // half-written file is gone.
  const auto discard = [&] {
    file.reset();
    env.RemoveFile(tempPath);
  };
  try {
    Store(*file, stamps, words, progress);
  } catch (const CMemoryException&) {
    discard();
    throw;
  } catch (const std::bad_alloc&) {
    discard();
    throw;
  } catch (const CException&) {
    discard();
    return false;
  }
  file.reset();
  if (env.RenameReplacing(tempPath, folder + kIndexFileName)) return true;
  env.RemoveFile(tempPath);
  return false;
}
