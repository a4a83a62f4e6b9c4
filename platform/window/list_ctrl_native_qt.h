#pragma once
// The Qt widget behind a CListCtrl. Private to the dialog layer.

#include <QListWidget>

#include "platform/window/list_ctrl.h"

struct CListCtrl::Native : QListWidget {
  // singleSelection: at most one item selected; otherwise several, with
  // Shift and Ctrl as usual.
  Native(QWidget* parent, bool singleSelection);

 protected:
  void focusInEvent(QFocusEvent* event) override;
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
};
