#pragma once
// The warning message box, one per toolkit (message_box_qt.cpp,
// message_box_win32.cpp).

#include <string>

// Shows a warning box with caption, text and one OK button, with the
// program's icon, and waits for it to be closed. True once it was shown;
// false when no display is reachable, and the text went to standard error
// as "caption: text".
bool ShowMessageBox(const std::u16string& caption, const std::u16string& text);
