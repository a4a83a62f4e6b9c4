#pragma once
// The small window that shows a long refresh is working: it appears only
// when the refresh has run for a while (half a second), shows how far the
// current phase is, and closes before the search window opens. Without a
// display it shows nothing.

#include <chrono>
#include <memory>
#include <string>

#include "index/refresh_progress.h"

// The window itself: Qt's progress dialog, a plain Win32 window on Windows.
#ifdef _WIN32
class ProgressDialogWin32;
using ProgressDialog = ProgressDialogWin32;
#else
class QProgressDialog;
using ProgressDialog = QProgressDialog;
#endif

class ProgressWindow : public RefreshProgress {
 public:
  // caption: the window's caption. delay: how long the refresh runs before
  // the window appears.
  explicit ProgressWindow(std::u16string caption,
                          std::chrono::milliseconds delay = std::chrono::milliseconds(500));
  ~ProgressWindow() override;
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  void Working(std::size_t done, std::size_t total) override;
  void Done() override;

  // The window while it is shown, else null.
  ProgressDialog* Shown() const { return m_dialog.get(); }

 private:
  std::u16string m_caption;
  std::chrono::steady_clock::time_point m_start;
  std::chrono::steady_clock::time_point m_lastPaint;
  std::chrono::milliseconds m_delay;
  bool m_noDisplay = false;
  std::unique_ptr<ProgressDialog> m_dialog;
};
