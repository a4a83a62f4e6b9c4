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

}  // namespace
