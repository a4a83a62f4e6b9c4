#include <QMessageBox>
#include <cstdio>

#include "platform/file_names.h"
#include "platform/gui.h"
#include "platform/posix_env.h"
#include "platform/qt_text.h"

bool PosixEnv::ShowWarning(const std::u16string& caption, const std::u16string& text) {
  if (!EnsureGuiApplication()) {
    std::fprintf(stderr, "%s: %s\n", ToNativeName(caption).c_str(), ToNativeName(text).c_str());
    return false;
  }
  QMessageBox box(QMessageBox::Warning, ToQString(caption), ToQString(text), QMessageBox::Ok);
  box.exec();
  return true;
}
