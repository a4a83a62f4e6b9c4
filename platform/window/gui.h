#pragma once
// Brings the window toolkit up on first need, so that modes that show no
// window (a new note that succeeds) work without a display. One
// implementation per toolkit: Qt's widget application (gui_qt.cpp), Win32
// (gui_win32.cpp).

#include <string>

// True when a QApplication exists or could be created. False, without
// aborting, when no display is reachable (no DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM, or an X display named by DISPLAY that cannot be
// connected to).
bool EnsureGuiApplication();

// The program's arguments, for the toolkit's own options (Qt reads them
// when it is brought up). argv must outlive the program's windows.
void SetGuiArguments(int argc, char** argv);

// How the program's windows present themselves to the desktop: every
// window, message boxes included, shows icon resource iconId (see
// CDialog::SetIcon), their window class is "scriblet", and shells group them
// under the desktop entry desktopEntry (its file name without ".desktop").
// Applies to the QApplication that exists or is made later.
void SetGuiIdentity(int iconId, const std::string& desktopEntry);
