// The Win32 progress window, shown in the virtual X server under Wine.

#include <gtest/gtest.h>

#include <chrono>

#include "app/progress_window.h"

#include "platform/os/windows_api.h"
#include <commctrl.h>

namespace {

HWND ProgressWindowShown() { return FindWindowW(L"ScribletProgress", nullptr); }

TEST(ProgressWindow, AppearsOnlyAfterTheDelayShowsHowFarAndClosesWhenDone) {
  ProgressWindow late(u"scriblet", std::chrono::hours(1));
  late.Working(3, 10);
  EXPECT_EQ(late.Shown(), nullptr);
  EXPECT_EQ(ProgressWindowShown(), nullptr);

  ProgressWindow progress(u"scriblet", std::chrono::milliseconds(0));
  progress.Working(3, 10);
  ASSERT_NE(progress.Shown(), nullptr);
  const HWND window = ProgressWindowShown();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  wchar_t caption[32] = {};
  GetWindowTextW(window, caption, 32);
  EXPECT_STREQ(caption, L"scriblet");
  const HWND bar = FindWindowExW(window, nullptr, PROGRESS_CLASSW, nullptr);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 10);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 3);

  progress.Done();
  EXPECT_EQ(progress.Shown(), nullptr);
  EXPECT_EQ(ProgressWindowShown(), nullptr);
}

// While the folder is listed the total is not known: the bar must move,
// or the window looks hung.
TEST(ProgressWindow, AnUnknownTotalShowsAMovingBar) {
  ProgressWindow progress(u"scriblet", std::chrono::milliseconds(0));
  progress.Working(5, 0);
  const HWND bar = FindWindowExW(ProgressWindowShown(), nullptr, PROGRESS_CLASSW, nullptr);
  ASSERT_NE(bar, nullptr);
  const LRESULT first = SendMessageW(bar, PBM_GETPOS, 0, 0);
  Sleep(100);  // longer than the window waits between two paints
  progress.Working(6, 0);
  const bool marquee = (GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE) != 0;
  EXPECT_TRUE(marquee || SendMessageW(bar, PBM_GETPOS, 0, 0) != first);
}

}  // namespace
