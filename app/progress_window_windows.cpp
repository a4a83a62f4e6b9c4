// Windows shows no progress window: a long refresh shows nothing until the
// search window opens.
#include "app/progress_window.h"

// Qt's window, which the header names, has no part on Windows; this empty
// stand-in only completes the member's type.
class QProgressDialog {};

ProgressWindow::ProgressWindow(std::u16string caption, std::chrono::milliseconds delay)
    : m_caption(std::move(caption)), m_start(std::chrono::steady_clock::now()), m_delay(delay) {}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::Working(std::size_t, std::size_t) {}

void ProgressWindow::Done() {}
