#include "app/scriblet_dlg.h"

#include <string>

#include "res/dialog_templates.h"
#include "res/help_text.h"
#include "res/resource_ids.h"

CScribletDlg::CScribletDlg() : CDialog(kScribletDialogTemplate) {}

bool CScribletDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDlgItemText(IDC_HELP_TEXT, std::u16string(kHelpText));
  SetIcon(IDR_MAINFRAME);
  return true;  // the focus goes to OK, the first tab stop
}
