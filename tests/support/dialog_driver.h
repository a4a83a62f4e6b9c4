#pragma once
// Drives a modal dialog from a test the way a user would: the test body runs
// inside the dialog's modal loop, once its window is shown and active.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/window/dialog.h"

struct ModalRun {
  int result;     // what DoModal returned
  bool leftOpen;  // the body did not close the window; the driver closed it
};

// Runs dialog.DoModal() and calls body(window) inside its loop. A window the
// body leaves open is closed by its close box afterwards.
inline ModalRun RunModal(CDialog& dialog, const std::function<void(QWidget*)>& body) {
  bool leftOpen = false;
  QTimer::singleShot(0, [&] {
    QWidget* window = QApplication::activeModalWidget();
    if (!window) {
      ADD_FAILURE() << "no modal window";
      return;
    }
    (void)QTest::qWaitForWindowActive(window);
    body(window);
    leftOpen = window->isVisible();
    if (leftOpen) window->close();
  });
  const int result = dialog.DoModal();
  return {result, leftOpen};
}

// The widget made for control id.
inline QWidget* Control(QWidget* window, int id) {
  for (QWidget* child : window->findChildren<QWidget*>()) {
    if (child->property("controlId").toInt() == id) return child;
  }
  return nullptr;
}

// Presses and releases key at whatever has the keyboard focus.
inline void Press(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWidget* target = QApplication::focusWidget();
  QTest::keyClick(target ? target : window, key, modifiers);
}
