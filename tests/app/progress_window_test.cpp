#include "app/progress_window.h"

#include <gtest/gtest.h>

#include <QProgressDialog>
#include <chrono>

namespace {

TEST(ProgressWindow, AppearsOnlyAfterTheDelayAndClosesWhenDone) {
  ProgressWindow late(u"scriblet", std::chrono::hours(1));
  late.Working(1, 10);
  EXPECT_EQ(late.Shown(), nullptr);

  ProgressWindow progress(u"scriblet", std::chrono::milliseconds(0));
  progress.Working(3, 10);
  ASSERT_NE(progress.Shown(), nullptr);
  EXPECT_TRUE(progress.Shown()->isVisible());
  EXPECT_EQ(progress.Shown()->windowTitle(), "scriblet");
  EXPECT_EQ(progress.Shown()->maximum(), 10);
  EXPECT_EQ(progress.Shown()->value(), 3);
  progress.Done();
  EXPECT_EQ(progress.Shown(), nullptr);
}

// While the folder is listed the number of notes is not known yet: the bar
// then moves without a scale instead of standing at zero.
TEST(ProgressWindow, AnUnknownTotalShowsABusyBar) {
  ProgressWindow progress(u"scriblet", std::chrono::milliseconds(0));
  progress.Working(300, 0);
  ASSERT_NE(progress.Shown(), nullptr);
  EXPECT_EQ(progress.Shown()->minimum(), 0);
  EXPECT_EQ(progress.Shown()->maximum(), 0);
}

}  // namespace
