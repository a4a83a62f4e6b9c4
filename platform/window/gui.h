#pragma once
// Brings the window toolkit up on first need, so that modes that show no
// window (a new note that succeeds) work without a display. One
// implementation per toolkit: Qt's widget application (gui_qt.cpp), Win32
// (gui_win32.cpp).

#include <string>

// True when a QApplication exists or could be created. False, without
// aborting, when no display is reachable (no DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM, or an X display named by DISPLAY that cannot be
// connected to). Qt's own texts follow the user's language where the
// system holds their translation.
bool EnsureGuiApplication();

// The program's name (argv[0]), which the toolkit is brought up with; it
// must outlive the program's windows. The toolkit is given no other
// argument: whatever follows the folder is ignored, and a folder named
// like one of Qt's options ("-reverse") stays a folder. Qt's environment
// variables (QT_QPA_PLATFORM, QT_STYLE_OVERRIDE, QT_SCALE_FACTOR) still
// count.
void SetGuiProgramName(char* name);

// How the program's windows present themselves to the desktop: every
// window, message boxes included, shows icon resource iconId (see
// CDialog::SetIcon), their window class is "scriblet", and shells group them
// under the desktop entry desktopEntry (its file name without ".desktop").
// Applies to the QApplication that exists or is made later.
void SetGuiIdentity(int iconId, const std::string& desktopEntry);
