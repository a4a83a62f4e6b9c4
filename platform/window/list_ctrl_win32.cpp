#include "platform/window/list_ctrl.h"

#include "platform/window/dialog.h"
#include "platform/window/list_ctrl_native_win32.h"
#include "platform/os/windows_api.h"

#include <commctrl.h>

namespace {

struct Quiet {
  explicit Quiet(CListCtrl::Native& n) : native(n) { native.quiet = true; }
  ~Quiet() { native.quiet = false; }
  CListCtrl::Native& native;
};

}  // namespace

void CListCtrl::DeleteAllItems() {
  if (!m_native) return;
  Quiet quiet(*m_native);
  SendMessageW(m_native->hwnd, LVM_DELETEALLITEMS, 0, 0);
}

int CListCtrl::InsertItem(int pos, const std::u16string& text) {
  if (!m_native) return -1;
  const int count = GetItemCount();
  if (pos < 0 || pos > count) pos = count;
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = pos;
  item.pszText = const_cast<wchar_t*>(Wide(text));
  Quiet quiet(*m_native);
  return static_cast<int>(SendMessageW(m_native->hwnd, LVM_INSERTITEMW, 0,
                                       reinterpret_cast<LPARAM>(&item)));
}

int CListCtrl::GetItemCount() const {
  return m_native ? static_cast<int>(SendMessageW(m_native->hwnd, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

std::u16string CListCtrl::GetItemText(int item) const {
  if (!m_native || item < 0 || item >= GetItemCount()) return {};
  // The list answers with as much as fits; grow until it all fits.
  for (std::size_t capacity = 256;; capacity *= 2) {
    std::u16string text(capacity, u'\0');
    LVITEMW request{};
    request.iSubItem = 0;
    request.pszText = reinterpret_cast<wchar_t*>(text.data());
    request.cchTextMax = static_cast<int>(capacity);
    const auto length = static_cast<std::size_t>(SendMessageW(
        m_native->hwnd, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&request)));
    if (length + 1 < capacity || capacity >= (std::size_t{1} << 20)) {
      text.resize(length);
      return text;
    }
  }
}

int CListCtrl::GetFirstSelectedItem() const {
  if (!m_native) return -1;
  return static_cast<int>(
      SendMessageW(m_native->hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void CListCtrl::SetRedraw(bool redraw) {
  if (!m_native) return;
  SendMessageW(m_native->hwnd, WM_SETREDRAW, redraw, 0);
  if (redraw) InvalidateRect(m_native->hwnd, nullptr, TRUE);
}

bool CListCtrl::SendKey(const KeyMessage& message) {
  if (!m_native || !message.native) return false;
  const MSG& msg = *static_cast<const MSG*>(message.native);
  SendMessageW(m_native->hwnd, msg.message, msg.wParam, msg.lParam);
  return true;
}
