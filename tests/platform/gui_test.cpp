#include "platform/window/gui.h"

#include <gtest/gtest.h>

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

}  // namespace
