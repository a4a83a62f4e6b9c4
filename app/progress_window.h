#pragma once
// The small window that shows a long refresh is working: it appears only
// when the refresh has run for a while (half a second), shows how far the
// current phase is, and closes before the search window opens. Without a
// display it shows nothing.

#include <chrono>
#include <memory>
#include <string>

#include "index/refresh_progress.h"

// The window itself, one per toolkit: Qt's progress dialog
// (progress_window_qt.cpp), a plain Win32 window (progress_window_win32.cpp).
class ProgressDialog {
 public:
  virtual ~ProgressDialog() = default;

  // A new window with caption, shown at once. Null when none can be made
  // (no display).
  static std::unique_ptr<ProgressDialog> Open(const std::u16string& caption);

  // Shows value of maximum (0 of 0: a moving bar, the total not known yet)
  // and lets the window paint; keys typed meanwhile wait for the next
  // dialog, clicks are dropped.
  virtual void Show(int value, int maximum) = 0;
};

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
