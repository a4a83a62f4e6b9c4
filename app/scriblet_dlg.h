#pragma once
// The instructions window: the help text in a read-only field, the program
// icon, a caption without close box. OK, Enter and Escape close it.

#include "platform/window/dialog.h"

class CScribletDlg : public CDialog {
 public:
  CScribletDlg();

  const char* GetRuntimeClass() const override { return "CScribletDlg"; }

 protected:
  bool OnInitDialog() override;
};
