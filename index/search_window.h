#pragma once
// What the refresh needs of the search window: shown modally over the word
// index it built, returning when the user closes it. Kept as an interface so
// that the refresh runs headless in tests and benchmarks.

#include <string>

#include "index/word_index.h"

class SearchWindow {
 public:
  virtual ~SearchWindow() = default;

  // Borrows words (valid only until Show returns) and the notes folder,
  // which ends in '/'. words must only be read: it may still be being
  // saved on another thread, and its walk order is built already.
  virtual void Show(WordIndex& words, const std::u16string& notesFolder) = 0;
};
