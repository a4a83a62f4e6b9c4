#pragma once
// The "/n" mode: a fresh, empty, time-named note opened in the text editor.

#include <cstdint>
#include <string>

#include "platform/os/env.h"

// "note-%Y.%m.%d-%H.%M.%S.txt" of the local time given as UTC seconds plus
// the local offset; "Invalid DateTime" outside the years 1970 to 3000.
std::u16string NoteFileName(std::int64_t utcSeconds, std::int64_t utcOffset);

// Creates every missing level of folderText (split at the system's path
// separators, kPathSeparators), then the note
// for the current time without truncating an existing one, and starts the
// editor on the note's absolute path with folderText as working directory. When the note cannot
// be created, shows "Ошибка создания файла <path>" with caption as the box's
// caption and starts nothing; when the editor cannot be started, keeps the
// note and says which program was tried and how to name another. Returns
// true when the note was created and the editor started.
bool CreateNewNote(Env& env, const std::u16string& folderText, const std::u16string& caption);
