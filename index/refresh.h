#pragma once
// The folder refresh behind the search mode: brings the folder's index file
// "notes.ndx" up to date with the "*.txt" notes in it, tidies the folder on
// the way, shows the search window over the word index and frees it.
//
// On the way, for each note the enumeration lists:
// - an empty note last written at least kEmptyNoteMinAge seconds ago is
//   deleted if it still is so right before the delete; a younger one is
//   left alone and not recorded;
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
//
// Refreshes of one folder take turns (Env::LockFolder), from before the
// index is loaded until the new index file is in place (or, when there is
// nothing to save, until the search window is about to be shown); while
// the turn is held, temporary index files that killed runs left are
// removed.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/os/env.h"

class RefreshProgress;
class SearchWindow;

// Larger notes are indexed by their first kMaxNoteBytes bytes: notes are
// short texts, and this bounds the buffer one note can claim.
inline constexpr std::size_t kMaxNoteBytes = std::size_t{64} << 20;

// An empty note is deleted only when its last write is at least this many
// seconds old. An editor that saves in place truncates the note and then
// writes it; a refresh in between must not take the note away.
inline constexpr std::int64_t kEmptyNoteMinAge = 60;

// A time-named note whose rename keeps failing because the names are taken
// keeps its name after "<words>.txt" and this many numbered names.
inline constexpr int kMaxNumberedNames = 10000;

// folderText is the folder as typed (not empty); the system's separator
// ('/', on Windows '\') is appended when it does not end in one. The
// window is shown as soon as the index is complete; notes.ndx is meanwhile
// written on a second thread, so the window must only read the index
// (when the system gives no thread, it is written before the window shows).
// Returns when the window has closed and the file is saved (or its save
// has failed, leaving the old file as it was); exhausted memory met by the
// save is thrown then, after the window closed. progress, when given,
// hears often how the work goes until the window is shown, and nothing
// after.
void Refresh(Env& env, const std::u16string& folderText, SearchWindow& window,
             RefreshProgress* progress = nullptr);
