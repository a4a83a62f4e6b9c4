#include "platform/window/type_ahead_qt.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

namespace {

// The program has one GUI thread, and keys wait here only between a
// progress window and the dialog after it.
std::vector<std::unique_ptr<QEvent>>& KeptKeys() {
  static std::vector<std::unique_ptr<QEvent>> keys;
  return keys;
}

}  // namespace

TypeAheadHold::TypeAheadHold() { QCoreApplication::instance()->installEventFilter(this); }

TypeAheadHold::~TypeAheadHold() { QCoreApplication::instance()->removeEventFilter(this); }

bool TypeAheadHold::eventFilter(QObject*, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      // Kept at its first receiver; taken, it is offered to no parent.
      KeptKeys().push_back(std::unique_ptr<QEvent>(event->clone()));
      event->accept();
      return true;
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
      return true;
    default:
      return false;
  }
}

void DeliverTypeAhead(QWidget* window) {
  std::vector<std::unique_ptr<QEvent>> keys = std::move(KeptKeys());
  KeptKeys().clear();
  const QPointer<QWidget> alive(window);
  for (const auto& key : keys) {
    if (!alive) return;  // a kept Escape or Enter may have closed it
    QWidget* focus = alive->focusWidget();
    QApplication::sendEvent(focus != nullptr ? focus : alive.data(), key.get());
  }
}
