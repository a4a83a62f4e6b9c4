#pragma once
// The Win32 list-view behind a CListCtrl. Private to the dialog layer.

#include "platform/os/windows_api.h"

#include "platform/window/list_ctrl.h"

struct CListCtrl::Native {
  HWND hwnd;
  // Set while the program itself changes the items: those changes are no
  // selection the user made and raise no notification.
  bool quiet = false;
  // A selection change is reported once the list has settled: Win32 tells
  // of the old item losing the selection before the new one gains it.
  bool selectionPending = false;
};
