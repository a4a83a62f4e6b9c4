#pragma once
// Keys the user types while a window that takes none is shown (the
// progress of a long refresh) are kept for the next dialog, which gets
// them, in order, in its focused control once it opens: a query typed
// ahead of the search window is not lost, as type-ahead reaches the next
// window on Windows.

#include <QObject>

class QWidget;

// While it lives, key presses and releases aimed at any of the program's
// windows are kept rather than delivered, and mouse clicks and wheel turns
// are dropped. One at a time.
class TypeAheadHold final : public QObject {
 public:
  TypeAheadHold();
  ~TypeAheadHold() override;
  TypeAheadHold(const TypeAheadHold&) = delete;
  TypeAheadHold& operator=(const TypeAheadHold&) = delete;

 protected:
  bool eventFilter(QObject*, QEvent* event) override;
};

// Hands the keys kept so far, one by one, to the control that has
// window's focus at the time (window itself when none has), so that a
// typed Tab moves the later keys on, and forgets them.
void DeliverTypeAhead(QWidget* window);
