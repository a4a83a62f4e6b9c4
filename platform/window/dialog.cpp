// What CDialog does alike with every toolkit; the window itself is
// dialog_qt.cpp's or dialog_win32.cpp's.
#include "platform/window/dialog.h"

CDialog::CDialog(const DialogTemplate& dialogTemplate) : m_template(dialogTemplate) {}

CDialog::~CDialog() = default;

void CDialog::OnNotify(Notification event, int id, std::function<void()> handler) {
  m_handlers.push_back({event, id, std::move(handler)});
}

bool CDialog::OnInitDialog() {
  DoDataExchange();
  return true;
}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::PreTranslateMessage(const KeyMessage&) { return false; }

void CDialog::Notify(Notification event, int id) {
  for (const Handler& handler : m_handlers) {
    if (handler.event == event && handler.id == id) handler.run();
  }
}
