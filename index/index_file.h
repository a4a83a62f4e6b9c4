#pragma once
// The index file "notes.ndx" in the notes folder: the file stamp map, then
// the word list section, each as a count and key/value string pairs (see
// archive.h for the fields). No header, no trailer; bytes after the word
// lists are never looked at.
//
// The word list section holds, for each word with a non-empty note set, the
// word and its notes' names joined by ':' in the set's walk order. Pairs are
// in the order a word list map filled in the word index's walk order would
// walk (see WordIndex::SaveOrder). The word index is filled from and written
// to the file directly, without a word list map in between.

#include <string>

#include "index/map.h"
#include "index/refresh_progress.h"
#include "index/word_index.h"
#include "platform/os/env.h"

inline constexpr char16_t kIndexFileName[] = u"notes.ndx";

// Reads folder + "notes.ndx" (folder ends in '/') into stamps and words,
// which the caller passes empty. Each word list fills its word's note set:
// a word is taken as stored (not lower-cased), empty pieces of a list
// (leading, trailing or repeated ':') are skipped, a name repeated in a list
// counts once, key and list end at their first NUL, and a word that occurs
// twice keeps its first place and takes its later list.
// All-or-nothing: if the file is missing or cannot be opened, nothing is
// read; if any read fails (a damaged or foreign file, counts that cannot fit
// in the file, exhausted memory, a read error), stamps and words are left
// empty. Time is linear in the file's size whatever it holds; memory grows
// with what is read, not with the counts or the length the file claims.
// Never throws, never reports.
// progress, when given, hears how the word lists are read.
void LoadIndexFile(Env& env, const std::u16string& folder, CMapStringToString& stamps,
                   WordIndex& words, RefreshProgress* progress = nullptr);

// Writes stamps, then the word lists of words, to a temporary file in folder,
// makes it durable, and renames it over folder + "notes.ndx". On any failure
// the temporary file is removed and an existing "notes.ndx" stays byte for
// byte as it was (though no longer cached: its cached bytes are let go before
// the new file is written). Returns whether the new file is in place;
// callers do not tell the user about a failure, except exhausted memory,
// which is thrown on (std::bad_alloc or CMemoryException). progress, when
// given, hears how the word lists are written.
bool SaveIndexFile(Env& env, const std::u16string& folder, CMapStringToString& stamps,
                   const WordIndex& words, RefreshProgress* progress = nullptr);
