#pragma once
// The word index: every word of the notes, lower-cased, with the set of note
// file names that contain it. Its persisted form is the word list map: word
// to the names joined by ':' in the note set's walk order.
//
// The word index owns its note sets (the map does not delete what its values
// point to): call Free before the word index is destroyed. A word may have an
// empty note set (after RemoveNote, or from an empty word list); readers must
// expect that. A note set's values are always 0; only its keys count.

#include <string>
#include <string_view>

#include "tests/reference/map.h"

namespace reference {

using NoteSet = CMap<int>;
using WordIndex = CMap<NoteSet*>;

// Converts wordBytes from the ANSI code page, lower-cases it with
// LowerCaseInPlace, and puts noteName into that word's note set, making the
// set when the word is new. A name already there stays once.
void AddWord(std::string_view wordBytes, const std::u16string& noteName, WordIndex& index);

// Takes noteName out of every note set. Words whose set becomes empty stay.
void RemoveNote(const std::u16string& noteName, WordIndex& index);

// Empties wordLists, then gives it one word list per word with a non-empty
// note set, the names in the set's walk order.
void Flatten(const WordIndex& index, CMapStringToString& wordLists);

// Gives the empty index one note set per entry of wordLists, its word taken
// as stored (not lower-cased). Empty pieces of a list (leading, trailing or
// repeated ':') are skipped; an empty list gives an empty set. Throws
// CMemoryException when memory runs out; every set made so far is then in
// the index, so Free still releases it.
void Expand(const CMapStringToString& wordLists, WordIndex& index);

// Deletes every note set and leaves null in its place, so a second Free
// does nothing. The words stay until the index is cleared or destroyed.
void Free(WordIndex& index);

}  // namespace reference
