#pragma once
// What the refresh needs of the search window: shown modally over the word
// index it built, returning when the user closes it. Kept as an interface so
// that the refresh runs headless in tests and benchmarks.

#include <string>

#include "tests/reference/word_index.h"

namespace reference {

class SearchWindow {
 public:
  virtual ~SearchWindow() = default;

  // Borrows words (valid only until Show returns) and the notes folder,
  // which ends in '/'.
  virtual void Show(WordIndex& words, const std::u16string& notesFolder) = 0;
};

}  // namespace reference
