#include "tests/reference/word_index.h"

#include <memory>
#include <new>

#include "platform/text/ansi_text.h"
#include "platform/framework/exceptions.h"
#include "platform/text/lower_case.h"

namespace reference {

namespace {

// Hands a new set to the index; the set is deleted again if the insertion
// fails, so nothing leaks.
NoteSet& InsertNewSet(const std::u16string& word, WordIndex& index) {
  auto set = std::make_unique<NoteSet>();
  index.SetValue(word, set.get());
  return *set.release();
}

}  // namespace

void AddWord(std::string_view wordBytes, const std::u16string& noteName, WordIndex& index) {
  std::u16string word = AnsiToWide(wordBytes);
  LowerCaseInPlace(word);
  if (WordIndex::CPair* entry = index.FindEntry(word)) {
    entry->value->SetValue(noteName, 0);
    return;
  }
  InsertNewSet(word, index).SetValue(noteName, 0);
}

void RemoveNote(const std::u16string& noteName, WordIndex& index) {
  for (WordIndex::CPair* entry = index.FirstEntry(); entry; entry = index.NextEntry(entry)) {
    entry->value->RemoveEntry(noteName);
  }
}

void Flatten(const WordIndex& index, CMapStringToString& wordLists) {
  wordLists.Clear();
  // Words are unique in the index, so each list is built whole and stored
  // once instead of being looked up and appended to per name.
  for (const WordIndex::CPair* entry = index.FirstEntry(); entry; entry = index.NextEntry(entry)) {
    const NoteSet& notes = *entry->value;
    std::u16string list;
    for (const NoteSet::CPair* note = notes.FirstEntry(); note; note = notes.NextEntry(note)) {
      if (!list.empty()) list += u':';
      list += note->key;
    }
    if (!list.empty()) wordLists.SetValue(entry->key, list);
  }
}

void Expand(const CMapStringToString& wordLists, WordIndex& index) {
  try {
    for (const auto* entry = wordLists.FirstEntry(); entry; entry = wordLists.NextEntry(entry)) {
      NoteSet& notes = InsertNewSet(entry->key, index);
      const std::u16string& list = entry->value;
      for (std::size_t begin = list.find_first_not_of(u':'); begin != std::u16string::npos;) {
        const std::size_t end = list.find(u':', begin);
        notes.SetValue(list.substr(begin, end - begin), 0);
        begin = end == std::u16string::npos ? end : list.find_first_not_of(u':', end);
      }
    }
  } catch (const std::bad_alloc&) {
    throw CMemoryException();
  }
}

void Free(WordIndex& index) {
  for (WordIndex::CPair* entry = index.FirstEntry(); entry; entry = index.NextEntry(entry)) {
    delete entry->value;
    entry->value = nullptr;
  }
}

}  // namespace reference
