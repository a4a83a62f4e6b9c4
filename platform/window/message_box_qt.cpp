#include "platform/window/message_box.h"

#include <QMessageBox>
#include <cstdio>

#include "platform/text/file_names.h"
#include "platform/window/gui.h"
#include "platform/window/qt_text.h"

bool ShowMessageBox(const std::u16string& caption, const std::u16string& text) {
  if (!EnsureGuiApplication()) {
    std::fprintf(stderr, "%s: %s\n", ToNativeName(caption).c_str(), ToNativeName(text).c_str());
    return false;
  }
  QMessageBox box(QMessageBox::Warning, ToQString(caption), ToQString(text), QMessageBox::Ok);
  // A path in the text may hold anything a file name can, markup included.
  box.setTextFormat(Qt::PlainText);
  box.exec();
  return true;
}
