#pragma once
// The folder refresh behind the search mode: brings the folder's index file
// "notes.ndx" up to date with the "*.txt" notes in it, tidies the folder on
// the way, shows the search window over the word index and frees it.
//
// On the way, for each note the enumeration lists:
// - an empty note is deleted if it is still empty right before the delete;
// - a note whose stamp equals the recorded one is not opened;
// - any other note is read (at most kMaxNoteBytes of it, up to its first zero
//   byte); if its name starts with "note-" in any case it is renamed after
//   its first words ("<words>.txt", else "<words>.0.txt", "<words>.1.txt"...,
//   never replacing a file), and its words are indexed under its name;
// - a note that cannot be opened or read is neither indexed nor given a new
//   stamp, so the next refresh tries it again, but it does not count as gone.
// Recorded notes no longer in the folder are dropped. The index file is
// written only when a note was read or one has gone; a failed write leaves
// the old file as it was. Nothing here reports an error to the user.

#include <cstddef>
#include <string>

#include "platform/os/env.h"

namespace reference {

class SearchWindow;

// Larger notes are indexed by their first kMaxNoteBytes bytes: notes are
// short texts, and this bounds the buffer one note can claim.
inline constexpr std::size_t kMaxNoteBytes = std::size_t{64} << 20;

// A time-named note whose rename keeps failing because the names are taken
// keeps its name after "<words>.txt" and this many numbered names.
inline constexpr int kMaxNumberedNames = 10000;

// folderText is the folder as typed (not empty); '/' is appended when it
// does not end in one. Returns when the search window has closed.
void Refresh(Env& env, const std::u16string& folderText, SearchWindow& window);

}  // namespace reference
