// Windows always has its desktop, and a window shows the program's own
// icon resource and groups under its executable by itself: nothing to
// bring up or name here. Without a display (Wine without X) the dialog
// that cannot be made reports it.
#include "platform/window/gui.h"

bool EnsureGuiApplication() { return true; }

// Windows names the program itself.
void SetGuiProgramName(char*) {}

void SetGuiIdentity(int, const std::string&) {}
