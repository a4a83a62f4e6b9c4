// When the progress window appears and how often it is painted: alike with
// every toolkit.
#include "app/progress_window.h"

#include <algorithm>
#include <climits>

namespace {

// Often enough to look alive, seldom enough to cost the refresh nothing.
constexpr std::chrono::milliseconds kPaintEvery(40);

}  // namespace

ProgressWindow::ProgressWindow(std::u16string caption, std::chrono::milliseconds delay)
    : m_caption(std::move(caption)), m_start(std::chrono::steady_clock::now()), m_delay(delay) {}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::Working(std::size_t done, std::size_t total) {
  if (m_noDisplay) return;
  const auto now = std::chrono::steady_clock::now();
  if (m_dialog == nullptr) {
    if (now - m_start < m_delay) return;
    m_dialog = ProgressDialog::Open(m_caption);
    if (m_dialog == nullptr) {
      m_noDisplay = true;
      return;
    }
  } else if (now - m_lastPaint < kPaintEvery) {
    return;
  }
  m_lastPaint = now;
  // Progress bars count in int.
  const auto scale = std::max<std::size_t>(1, total / INT_MAX + 1);
  m_dialog->Show(static_cast<int>(std::min(done, total) / scale), static_cast<int>(total / scale));
}

void ProgressWindow::Done() { m_dialog.reset(); }
