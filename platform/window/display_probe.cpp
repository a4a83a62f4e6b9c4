#include "platform/window/display_probe.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

namespace {

std::string_view Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool XReachable() {
  if (Variable("DISPLAY").empty()) return false;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool reachable = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return reachable;
}

// Qt reaches a compositor only through its Wayland platform plugin, a
// package of its own (qt6-wayland) that may not be installed.
bool QtCanUseWayland() {
  QStringList folders;
  const std::string_view own = Variable("QT_QPA_PLATFORM_PLUGIN_PATH");
  if (!own.empty()) folders << QString::fromLocal8Bit(own.data(), static_cast<qsizetype>(own.size()));
  for (const QString& plugins : QCoreApplication::libraryPaths()) folders << plugins + "/platforms";
  for (const QString& folder : folders) {
    if (!QDir(folder).entryList({"libqwayland*"}, QDir::Files).isEmpty()) return true;
  }
  return false;
}

// As a Wayland client finds its compositor: a socket handed over in
// WAYLAND_SOCKET, else WAYLAND_DISPLAY ("wayland-0" when unset), a path of
// its own or a name in XDG_RUNTIME_DIR.
bool WaylandReachable() {
  if (!QtCanUseWayland()) return false;
  if (!Variable("WAYLAND_SOCKET").empty()) return true;
  std::string path(Variable("WAYLAND_DISPLAY"));
  if (path.empty()) path = "wayland-0";
  if (path.front() != '/') {
    const std::string_view runtime = Variable("XDG_RUNTIME_DIR");
    if (runtime.empty()) return false;
    path = std::string(runtime) + "/" + path;
  }
  sockaddr_un address{};
  if (path.size() >= sizeof(address.sun_path)) return false;
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return true;  // not known to be gone
  const bool reachable = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return reachable;
}

}  // namespace

bool EveryDisplayUnreachable() {
  std::string_view platforms = Variable("QT_QPA_PLATFORM");
  if (platforms.empty()) platforms = "xcb;wayland";
  while (!platforms.empty()) {
    const std::size_t end = platforms.find(';');
    const std::string_view entry = platforms.substr(0, end);
    platforms.remove_prefix(end == std::string_view::npos ? platforms.size() : end + 1);
    const std::string_view name = entry.substr(0, entry.find(':'));
    if (name == "xcb") {
      if (XReachable()) return false;
    } else if (name.starts_with("wayland")) {
      if (WaylandReachable()) return false;
    } else {
      return false;
    }
  }
  return true;
}
