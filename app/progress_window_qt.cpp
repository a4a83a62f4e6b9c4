#include "app/progress_window.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QString>
#include <algorithm>
#include <climits>

#include "platform/window/gui.h"

namespace {

// Often enough to look alive, seldom enough to cost the refresh nothing.
constexpr std::chrono::milliseconds kPaintEvery(40);

QString ToQString(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

ProgressWindow::ProgressWindow(std::u16string caption, std::chrono::milliseconds delay)
    : m_caption(std::move(caption)), m_start(std::chrono::steady_clock::now()), m_delay(delay) {}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::Working(std::size_t done, std::size_t total) {
  if (m_noDisplay) return;
  const auto now = std::chrono::steady_clock::now();
  if (m_dialog == nullptr) {
    if (now - m_start < m_delay) return;
    if (!EnsureGuiApplication()) {
      m_noDisplay = true;
      return;
    }
    m_dialog = std::make_unique<QProgressDialog>();
    m_dialog->setWindowTitle(ToQString(m_caption));
    m_dialog->setLabelText(QString::fromUtf8("Обновляю указатель заметок…"));
    m_dialog->setCancelButton(nullptr);
    m_dialog->setMinimumDuration(0);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->show();
  } else if (now - m_lastPaint < kPaintEvery) {
    return;
  }
  m_lastPaint = now;
  // Progress bars count in int.
  const auto scale = std::max<std::size_t>(1, total / INT_MAX + 1);
  m_dialog->setMaximum(static_cast<int>(total / scale));
  m_dialog->setValue(static_cast<int>(std::min(done, total) / scale));
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ProgressWindow::Done() { m_dialog.reset(); }
