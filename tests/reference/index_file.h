#pragma once
// The index file "notes.ndx" in the notes folder: the file stamp map, then
// the word list map, each as a count and key/value string pairs (see
// archive.h for the fields). No header, no trailer; bytes after the second
// map are never looked at.

#include <string>

#include "tests/reference/map.h"
#include "tests/reference/word_index.h"
#include "platform/os/env.h"

namespace reference {

inline constexpr char16_t kIndexFileName[] = u"notes.ndx";

// Reads folder + "notes.ndx" (folder ends in '/') into the two maps, which
// the caller passes empty. When wordIndex is not null (it must then be
// empty), the word list map is expanded into it before the file is let go.
// All-or-nothing: if the file is missing or cannot be opened, nothing is
// read; if any read or the expansion fails (a damaged or foreign file,
// exhausted memory, a read error), both maps and the word index are left
// empty, with no note set leaked. Never throws, never reports.
void LoadIndexFile(Env& env, const std::u16string& folder, CMapStringToString& stamps,
                   CMapStringToString& wordLists, WordIndex* wordIndex);

// Writes the two maps, in this order, to a temporary file in folder, makes
// it durable, and renames it over folder + "notes.ndx". On any failure the
// temporary file is removed and an existing "notes.ndx" stays byte for byte
// as it was. Returns whether the new file is in place; callers do not tell
// the user about a failure.
bool SaveIndexFile(Env& env, const std::u16string& folder, CMapStringToString& stamps,
                   CMapStringToString& wordLists);

}  // namespace reference
