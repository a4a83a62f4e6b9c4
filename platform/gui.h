#pragma once
// Brings Qt's widget application up on first need, so that modes that show
// no window (a new note that succeeds) work without a display.

// True when a QApplication exists or could be created. False, without
// aborting, when no display is reachable (no DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM).
bool EnsureGuiApplication();

// The program's arguments, kept for the QApplication made later.
void SetGuiArguments(int argc, char** argv);
