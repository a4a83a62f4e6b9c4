#pragma once
// Qt ends the process (SIGABRT) when no platform it tries can start. The
// displays it would connect to are tried first, the way it would connect,
// so that one that is gone (a DISPLAY left from an ssh login, a compositor
// or session that ended) counts as no display instead of a crash, and so
// does a compositor when Qt lacks its Wayland platform.

// Whether every platform Qt may take (the list in QT_QPA_PLATFORM, else X
// and Wayland) is X or Wayland, and none of them can be connected to. False
// when Qt may take a platform of another kind: that is for Qt to judge.
bool EveryDisplayUnreachable();
