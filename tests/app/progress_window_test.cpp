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

}  // namespace
