#pragma once
// Which entries of the notes folder are notes, and the order the folder is
// read in. The same on every system, so that one folder gives one
// notes.ndx everywhere; the system only lists its files (Env::ListFiles).

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/os/env.h"

// A note's name: "*.txt" in any letter case, without ':' (a word list could
// not hold it).
bool IsNoteName(const std::u16string& name);

// What a listing met besides the notes.
struct ListingFacts {
  // The folder was listed to its end (Env::ListFiles): a recorded note that
  // is not among the notes is gone. Otherwise it may only be unlisted.
  bool whole = true;
  // A name IsTempIndexName accepts, of any kind of entry.
  bool tempIndexSeen = false;
};

// A snapshot of the notes in folder (which ends in a path separator): its
// regular files, links counted as their targets, with a note's name. In the
// order a Windows file system lists names: by their code units each
// upper-cased on its own (UpperCaseUnits), ties by the code units
// themselves. Empty when the folder is missing or unreadable. While it
// lists, listed (when given) is called now and then with the number of
// notes found so far. *facts (when given) hears what else the listing met.
std::vector<NoteEntry> FindNotes(Env& env, const std::u16string& folder,
                                 const std::function<void(std::size_t)>& listed = {},
                                 ListingFacts* facts = nullptr);

// The name Env::CreateTempFile gives a temporary index file:
// "notes.ndx.~" and six letters or digits. The "~" keeps it apart from the
// copies a user may keep of the index ("notes.ndx.backup"), which are never
// taken for leftovers.
bool IsTempIndexName(const std::u16string& name);

// Whether folder + name is, right now, a note as FindNotes would list it.
// False for a name that could reach outside the folder (IsPlainFileName).
bool IsNote(Env& env, const std::u16string& folder, const std::u16string& name);
