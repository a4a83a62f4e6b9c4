// Every window the program shows carries its icon and tells the desktop
// which entry it belongs to, and --help with a display shows the window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "app/system_modes.h"
#include "platform/window/desktop_env.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace {

struct Seen {
  bool shown = false;
  QList<QSize> iconSizes;
  QString desktopEntry;
};

// Runs show() and looks at the modal window it opens, then closes it.
template <typename Show>
Seen LookAtModalWindow(Show show) {
  Seen seen;
  QTimer::singleShot(0, [&] {
    QWidget* window = QApplication::activeModalWidget();
    if (window == nullptr) return;
    seen.shown = true;
    seen.iconSizes = window->windowIcon().availableSizes();
    seen.desktopEntry = QGuiApplication::desktopFileName();
    window->close();
  });
  show();
  return seen;
}

const QList<QSize> kProgramIcon = {QSize(16, 16), QSize(32, 32), QSize(72, 72)};

TEST(WindowIdentity, EveryWindowShowsTheProgramIconUnderItsDesktopEntry) {
  TempDir dir;
  TestEnv env;
  SystemModes modes(env, u"scriblet");

  const Seen search = LookAtModalWindow([&] { EXPECT_EQ(modes.Search(dir.folder()), 0); });
  EXPECT_TRUE(search.shown);
  EXPECT_EQ(search.iconSizes, kProgramIcon);
  EXPECT_EQ(search.desktopEntry, "scriblet-search-notes");

  // The real message box, as a new note shows it.
  env.failOpenForWrite = true;
  EXPECT_EQ(modes.NewNote(dir.folder()), 1);
  DesktopEnv desktop;
  const Seen box = LookAtModalWindow([&] { desktop.ShowWarning(u"scriblet", u"text"); });
  EXPECT_TRUE(box.shown);
  EXPECT_EQ(box.iconSizes, kProgramIcon);
  EXPECT_EQ(box.desktopEntry, "scriblet-new-note");

  const Seen help = LookAtModalWindow([&] { EXPECT_EQ(modes.Help(), 0); });
  EXPECT_TRUE(help.shown) << "--help with a display shows the instructions window";
  EXPECT_EQ(help.iconSizes, kProgramIcon);

  EXPECT_EQ(QCoreApplication::applicationName(), "scriblet") << "the X11 window class";
}

}  // namespace
