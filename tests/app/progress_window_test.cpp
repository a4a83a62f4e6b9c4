#include "app/progress_window.h"

#include <gtest/gtest.h>

#include <QProgressDialog>
#include <chrono>

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

}  // namespace
