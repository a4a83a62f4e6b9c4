#include "platform/window/gui.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <cstdlib>
#include <string_view>

#include "platform/window/qt_icon.h"

namespace {
int g_argc = 0;
char** g_argv = nullptr;
int g_iconId = 0;  // none yet
QString g_desktopEntry;

void ApplyIdentity() {
  // The X11 window class, whatever the executable is called.
  QCoreApplication::setApplicationName(QStringLiteral("scriblet"));
  if (g_iconId != 0) QApplication::setWindowIcon(IconResource(g_iconId));
  QGuiApplication::setDesktopFileName(g_desktopEntry);
}

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// Qt ends the process (SIGABRT) when its platform cannot start. The X
// display it would connect to is tried first, as it would connect: a named
// display that is gone (a stale DISPLAY over ssh, a session that ended) is
// then no display, not a crash. Only where Qt is sure to take X (no
// Wayland, no other platform named): elsewhere Qt decides as before.
bool NamedXDisplayUnreachable() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return false;
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland != nullptr && *wayland != '\0') return false;
  // A Wayland session's Qt may try its default compositor before X.
  const char* session = std::getenv("XDG_SESSION_TYPE");
  if (session != nullptr && std::string_view(session) == "wayland") return false;
  if (const char* platform = std::getenv("QT_QPA_PLATFORM"); platform != nullptr) {
    const std::string_view name(platform);
    if (!name.empty() && name != "xcb" && !name.starts_with("xcb:")) return false;
  }
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool failed = xcb_connection_has_error(connection) != 0;
  xcb_disconnect(connection);
  return failed;
}
}  // namespace

void SetGuiArguments(int argc, char** argv) {
  g_argc = argc;
  g_argv = argv;
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
  static const bool unreachable = NamedXDisplayUnreachable();
  if (unreachable) return false;
  static char fallbackName[] = "scriblet";
  static char* fallbackArgv[] = {fallbackName, nullptr};
  if (g_argv == nullptr) {
    g_argc = 1;
    g_argv = fallbackArgv;
  }
  // Lives until the process ends; the program runs one mode and exits.
  static QApplication* application = new QApplication(g_argc, g_argv);
  ApplyIdentity();
  return application != nullptr;
}
