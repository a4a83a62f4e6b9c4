#pragma once
// The list-view control in list mode: items are texts that flow in columns,
// several may be selected, and the selection stays visible without the
// focus. A CListCtrl is bound to a dialog's control by CDialog::BindList;
// unbound, every operation does nothing and reads as empty.

#include <string>

struct KeyMessage;

class CListCtrl {
 public:
  CListCtrl() = default;
  CListCtrl(const CListCtrl&) = delete;
  CListCtrl& operator=(const CListCtrl&) = delete;

  // Neither of these raises an item-changed notification.
  void DeleteAllItems();
  // Inserts text as item pos (0..count) and returns its index, or -1. The
  // list may draw control characters otherwise; GetItemText gives the text
  // as inserted.
  int InsertItem(int pos, const std::u16string& text);

  int GetItemCount() const;
  std::u16string GetItemText(int item) const;  // empty for a bad index

  // The lowest-numbered selected item, or -1 when none is selected.
  int GetFirstSelectedItem() const;

  // Suspends (false) and resumes (true) repainting while items change.
  void SetRedraw(bool redraw);

  // Delivers a key message to the list as if it had been addressed to it.
  // True when the list acted on it.
  bool SendKey(const KeyMessage& message);

  struct Native;  // the platform's control

 private:
  friend class CDialog;
  Native* m_native = nullptr;
};
