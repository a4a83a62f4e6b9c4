#pragma once
// The program's dialog templates.

#include "platform/window/dialog_template.h"

extern const DialogTemplate kScribletDialogTemplate;  // IDD_SCRIBLET_DIALOG
extern const DialogTemplate kSearchDialogTemplate;    // IDD_SEARCH_DIALOG
