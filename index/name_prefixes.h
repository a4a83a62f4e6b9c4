#pragma once
// Finds the notes of the names cut from word lists by their first eight
// code units and their length instead of by a hash of the whole name: one
// multiplication per name rather than one per 16 bytes and more. A table,
// built once from the interned names, gives for a beginning and a length
// the one name that has them, which is then compared whole; a name that
// the table cannot tell (shorter than eight units, sharing its beginning
// and length with another, not interned) is looked up by FindNote, so the
// outcome is always FindNote's.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "index/word_index.h"

class NamePrefixes {
 public:
  using Id = WordIndex::Id;

  // Takes the names words has interned, which must not change while the
  // table is used: it points into them. Replaces what was built before.
  // Throws std::bad_alloc.
  void Build(const WordIndex& words);

  // FindNote of each of names into ids (as many). Reads names only, so
  // threads may call it side by side.
  void FindNames(std::span<const std::u16string_view> names, const WordIndex& words, Id* ids) const;

 private:
  // An interned name by its beginning and length; id kNone when several
  // names have both. name null: a free slot.
  struct Entry {
    const char16_t* name = nullptr;
    std::uint16_t tag = 0;  // more bits of the hash
    std::uint16_t length = 0;
    Id id = WordIndex::kNone;
  };

  // Open addressing, linear probing; at most half full, one free slot when
  // there are no names.
  std::vector<Entry> m_slots = std::vector<Entry>(1);
  std::size_t m_mask = 0;
};
