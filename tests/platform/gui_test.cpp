#include "platform/window/gui.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <cstdlib>
#include <memory>

namespace {

// A Russian user's field offers its context menu in Russian, as the rest of
// the window speaks it.
TEST(Gui, ToolkitTextsFollowTheUsersLanguage) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("LC_ALL", "ru_RU.UTF-8", 1);
  ASSERT_TRUE(EnsureGuiApplication());
  QLineEdit field(QStringLiteral("text"));
  field.selectAll();
  const std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
  QStringList texts;
  for (const QAction* action : menu->actions()) texts << action->text();
  const QString shown = texts.join(u'|');
  EXPECT_TRUE(shown.contains(QStringLiteral("&Копировать\tCtrl+C"))) << shown.toStdString();
}

// Every text the windows show is Russian, read left to right: a user whose
// language reads right to left gets no right-to-left lists from Qt's own
// translation of it.
TEST(Gui, ARightToLeftLanguageLeavesTheWindowsLeftToRight) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, no application yet
  EXPECT_EXIT(
      {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("LC_ALL", "he_IL.UTF-8", 1);
        if (!EnsureGuiApplication()) std::_Exit(2);
        QCoreApplication::processEvents();  // the translation's language change
        std::_Exit(QGuiApplication::layoutDirection() == Qt::LeftToRight ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
