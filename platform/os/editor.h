#pragma once
// Which program opens the notes, and what the user is told when it cannot
// be started.

#include <string>

// $SCRIBLET_EDITOR when it is set and not empty (a program name or path, no
// arguments), otherwise "xdg-open".
std::string EditorProgram();

// The message box text for an editor that could not be started on
// notePath: the program that was tried, the note, and how to name another.
std::u16string EditorNotStartedMessage(const std::u16string& notePath);
