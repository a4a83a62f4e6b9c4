#include <QMessageBox>
#include <cstdio>

#include "platform/file_names.h"
#include "platform/gui.h"
#include "platform/posix_env.h"

namespace {
QString ToQString(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

bool PosixEnv::ShowWarning(const std::u16string& caption, const std::u16string& text) {
  if (!EnsureGuiApplication()) {
    std::fprintf(stderr, "%s: %s\n", ToNativeName(caption).c_str(), ToNativeName(text).c_str());
    return false;
  }
  QMessageBox box(QMessageBox::Warning, ToQString(caption), ToQString(text), QMessageBox::Ok);
  box.exec();
  return true;
}
