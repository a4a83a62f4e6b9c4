#include <QMessageBox>
#include <cstdio>

#include "platform/text/file_names.h"
#include "platform/window/gui.h"
#include "platform/os/system_env.h"
#include "platform/window/qt_text.h"

bool PosixEnv::ShowWarning(const std::u16string& caption, const std::u16string& text) {
  if (!EnsureGuiApplication()) {
    std::fprintf(stderr, "%s: %s\n", ToNativeName(caption).c_str(), ToNativeName(text).c_str());
    return false;
  }
  QMessageBox box(QMessageBox::Warning, ToQString(caption), ToQString(text), QMessageBox::Ok);
  box.exec();
  return true;
}
