#pragma once
// A search window for refresh tests: copies what it is shown, since the
// word index is gone after it closes.

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "index/search_window.h"
#include "index/word_index.h"

using Names = std::set<std::u16string>;
using Words = std::map<std::u16string, Names>;

class RecordingWindow : public SearchWindow {
 public:
  void Show(WordIndex& words, const std::u16string& notesFolder) override {
    ++shown;
    folder = notesFolder;
    const WordIndex::WalkOrder& walk = words.Walk();
    for (std::size_t i = 0; i < walk.words.size(); ++i) {
      const std::u16string word(words.Word(walk.words[i]));
      Names& names = this->words[word];
      std::vector<std::u16string> inOrder;
      for (const WordIndex::Id note : walk.NotesAt(i)) {
        names.emplace(words.NoteName(note));
        inOrder.emplace_back(words.NoteName(note));
      }
      order.emplace_back(word, std::move(inOrder));
    }
  }

  int shown = 0;
  std::u16string folder;
  Words words;
  // The walk the search follows, which decides the order results show in:
  // each word in turn with its notes in their order.
  std::vector<std::pair<std::u16string, std::vector<std::u16string>>> order;
};
