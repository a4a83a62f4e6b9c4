#include "app/progress_window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressDialog>
#include <chrono>
#include <thread>

#include "platform/window/type_ahead_qt.h"

namespace {

// The Qt window behind the progress window, null while none is shown.
QProgressDialog* Shown(const ProgressWindow& progress) {
  return dynamic_cast<QProgressDialog*>(progress.Shown());
}

TEST(ProgressWindow, AppearsOnlyAfterTheDelayAndClosesWhenDone) {
  ProgressWindow late(u"scriblet", std::chrono::hours(1));
  late.Working(1, 10);
  EXPECT_EQ(Shown(late), nullptr);

  ProgressWindow progress(u"scriblet", std::chrono::milliseconds(0));
  progress.Working(3, 10);
  ASSERT_NE(Shown(progress), nullptr);
  EXPECT_TRUE(Shown(progress)->isVisible());
  EXPECT_EQ(Shown(progress)->windowTitle(), "scriblet");
  EXPECT_EQ(Shown(progress)->maximum(), 10);
  EXPECT_EQ(Shown(progress)->value(), 3);
  progress.Done();
  EXPECT_EQ(Shown(progress), nullptr);
}

// While the folder is listed the number of notes is not known yet: the bar
// then moves without a scale instead of standing at zero.
TEST(ProgressWindow, AnUnknownTotalShowsABusyBar) {
  ProgressWindow progress(u"scriblet", std::chrono::milliseconds(0));
  progress.Working(300, 0);
  ASSERT_NE(Shown(progress), nullptr);
  EXPECT_EQ(Shown(progress)->minimum(), 0);
  EXPECT_EQ(Shown(progress)->maximum(), 0);
}

// The refresh cannot be stopped, so the window offers no close box; if the
// window manager closes it all the same, it stays closed rather than
// springing back at the next step.
TEST(ProgressWindow, AClosedWindowDoesNotComeBack) {
  ProgressWindow progress(u"scriblet", std::chrono::milliseconds(0));
  progress.Working(3, 10);
  QProgressDialog* shown = Shown(progress);
  ASSERT_NE(shown, nullptr);
  if (!(shown->windowFlags() & Qt::WindowCloseButtonHint)) return;
  shown->close();
  QCoreApplication::processEvents();
  for (std::size_t done = 4; done < 7; ++done) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // past the repaint interval
    progress.Working(done, 10);
  }
  EXPECT_FALSE(shown->isVisible());
}

// Keys the user typed while the window showed but the program had not yet
// taken from the system when the refresh ended (its last steps report
// nothing, and the window is painted only every so often) are the search
// window's as much as the others: none is lost with the window.
TEST(ProgressWindow, KeysNotYetTakenWhenItClosesAreKept) {
  ProgressWindow progress(u"scriblet", std::chrono::milliseconds(0));
  progress.Working(1, 10);
  ASSERT_NE(Shown(progress), nullptr);
  QCoreApplication::postEvent(Shown(progress),
                              new QKeyEvent(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, "z"));
  progress.Done();
  QLineEdit query;
  DeliverTypeAhead(&query);
  EXPECT_EQ(query.text().toStdString(), "z");
}

}  // namespace
