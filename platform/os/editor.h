#pragma once
// Which program opens the notes, and what the user is told when it cannot
// be started.

#include <string>
#include <string_view>

// $SCRIBLET_EDITOR when it is set and not empty (a program name or path, no
// arguments), otherwise the system's default: "xdg-open" on Linux,
// "notepad.exe" on Windows. UTF-8 on Windows.
std::string EditorProgram();

// Whether $SCRIBLET_EDITOR names the editor.
bool EditorConfigured();

// How to get the default editor or name another, for the message below.
extern const std::u16string_view kDefaultEditorHint;

// The message box text for an editor that could not be started on
// notePath: the program that was tried, the note, and how to name another.
std::u16string EditorNotStartedMessage(const std::u16string& notePath);
