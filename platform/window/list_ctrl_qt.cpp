#include "platform/window/list_ctrl.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <memory>

#include "platform/window/dialog.h"
#include "platform/window/list_ctrl_native_qt.h"
#include "platform/window/qt_text.h"

CListCtrl::Native::Native(QWidget* parent, bool singleSelection) : QListWidget(parent) {
  // List mode: texts flow top to bottom and wrap into further columns.
  setViewMode(QListView::ListMode);
  setFlow(QListView::TopToBottom);
  setWrapping(true);
  setResizeMode(QListView::Adjust);
  setSelectionMode(singleSelection ? QAbstractItemView::SingleSelection
                                   : QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
}

// Qt makes the first item current, unselected, when the list gains the
// focus with none, so Down would then select the second. With nothing
// selected the list keeps no current item: then every move lands on the
// first item, from the list or from the query, except End, which goes to
// the last.
void CListCtrl::Native::focusInEvent(QFocusEvent* event) {
  QListWidget::focusInEvent(event);
  if (selectedItems().isEmpty()) {
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  }
}

QModelIndex CListCtrl::Native::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  if (action == MoveEnd && !currentIndex().isValid() && count() > 0) {
    return indexFromItem(item(count() - 1));
  }
  return QListWidget::moveCursor(action, modifiers);
}

namespace {

// A file name may hold line breaks and other control characters (Linux
// allows them); drawn as they are they would break the row, so each shows
// as a replacement character.
QString DisplayedName(const std::u16string& name) {
  QString text = ToQString(name);
  for (QChar& c : text) {
    const char16_t u = c.unicode();
    if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029) c = QChar(0xFFFD);
  }
  return text;
}

}  // namespace

void CListCtrl::DeleteAllItems() {
  if (!m_native) return;
  // Clearing is not a selection change the user made.
  const QSignalBlocker blockSelection(m_native->selectionModel());
  m_native->clear();
  // A refilled list starts at its best match, wherever the old one was scrolled.
  m_native->horizontalScrollBar()->setValue(0);
  m_native->verticalScrollBar()->setValue(0);
}

int CListCtrl::InsertItem(int pos, const std::u16string& text) {
  if (!m_native) return -1;
  const int count = m_native->count();
  if (pos < 0 || pos > count) pos = count;
  const QSignalBlocker blockSelection(m_native->selectionModel());
  auto* item = new QListWidgetItem(DisplayedName(text));
  item->setData(Qt::UserRole, ToQString(text));
  m_native->insertItem(pos, item);
  return pos;
}

int CListCtrl::GetItemCount() const { return m_native ? m_native->count() : 0; }

std::u16string CListCtrl::GetItemText(int item) const {
  if (!m_native || item < 0 || item >= m_native->count()) return {};
  return ToU16(m_native->item(item)->data(Qt::UserRole).toString());
}

int CListCtrl::GetFirstSelectedItem() const {
  if (!m_native) return -1;
  for (int row = 0; row < m_native->count(); ++row) {
    if (m_native->item(row)->isSelected()) return row;
  }
  return -1;
}

void CListCtrl::SetRedraw(bool redraw) {
  if (m_native) m_native->setUpdatesEnabled(redraw);
}

bool CListCtrl::SendKey(const KeyMessage& message) {
  if (!m_native || !message.native) return false;
  // A fresh copy goes straight to the list's own handler: no event filter
  // sees it again and an unwanted key does not bubble up to the dialog.
  std::unique_ptr<QKeyEvent> copy(static_cast<const QKeyEvent*>(message.native)->clone());
  copy->setAccepted(true);  // as Qt delivers it: handlers ignore what they do not use
  QObject* list = m_native;
  const bool handled = list->event(copy.get());
  return handled && copy->isAccepted();
}
