#include "platform/window/gui.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdlib>

#include "platform/window/display_probe.h"
#include "platform/window/qt_icon.h"

namespace {
char g_fallbackName[] = "scriblet";
int g_argc = 1;
char* g_argv[] = {g_fallbackName, nullptr};
int g_iconId = 0;  // none yet
QString g_desktopEntry;

void ApplyIdentity() {
  // The X11 window class, whatever the executable is called.
  QCoreApplication::setApplicationName(QStringLiteral("scriblet"));
  if (g_iconId != 0) QApplication::setWindowIcon(IconResource(g_iconId));
  QGuiApplication::setDesktopFileName(g_desktopEntry);
}

// Qt's own texts (a field's context menu, say) in the user's language where
// the system has them (Debian's qt6-translations-l10n), English otherwise.
// The windows stay left to right: all their own texts are Russian, while
// Qt would turn the whole application round for a right-to-left language.
void TranslateToolkitTexts(QApplication* application) {
  auto* translator = new QTranslator(application);
  if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator);
  }
  QGuiApplication::setLayoutDirection(Qt::LeftToRight);
}

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}
}  // namespace

void SetGuiProgramName(char* name) {
  if (name != nullptr) g_argv[0] = name;
}

void SetGuiIdentity(int iconId, const std::string& desktopEntry) {
  g_iconId = iconId;
  g_desktopEntry = QString::fromStdString(desktopEntry);
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) ApplyIdentity();
}

bool EnsureGuiApplication() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) return true;
  if (!HasDisplay()) return false;
  // A display found unreachable stays so for the run: not tried again for
  // every window.
  static const bool unreachable = EveryDisplayUnreachable();
  if (unreachable) return false;
  // Lives until the process ends; the program runs one mode and exits.
  static QApplication* application = new QApplication(g_argc, g_argv);
  TranslateToolkitTexts(application);
  ApplyIdentity();
  return application != nullptr;
}
