// The progress window realised with Qt's progress dialog.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QProgressDialog>
#include <QString>

#include "app/progress_window.h"
#include "platform/window/gui.h"
#include "platform/window/qt_text.h"
#include "platform/window/type_ahead_qt.h"

namespace {

class QtProgressDialog final : public ProgressDialog, public QProgressDialog {
 public:
  explicit QtProgressDialog(const std::u16string& caption) {
    setWindowTitle(ToQString(caption));
    setLabelText(QString::fromUtf8("Обновляю указатель заметок…"));
    setCancelButton(nullptr);
    // The refresh cannot be stopped: no close box, and a close the window
    // manager asks for all the same is refused rather than undone a step
    // later.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setMinimumDuration(0);
    setAutoClose(false);
    setAutoReset(false);
    show();
  }
  // Keys the system has sent but the program not yet taken would go with
  // the window: they are taken into the hold first.
  ~QtProgressDialog() override { QCoreApplication::processEvents(); }

  void Show(int value, int maximum) override {
    setMaximum(maximum);
    setValue(value);
    QCoreApplication::processEvents();
  }

 protected:
  void closeEvent(QCloseEvent* event) override { event->ignore(); }

 private:
  // Keys typed meanwhile are the search window's.
  TypeAheadHold m_typeAhead;
};

}  // namespace

std::unique_ptr<ProgressDialog> ProgressDialog::Open(const std::u16string& caption) {
  if (!EnsureGuiApplication()) return nullptr;
  return std::make_unique<QtProgressDialog>(caption);
}
