#include "platform/window/dialog.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <map>

#include "platform/window/gui.h"
#include "platform/window/list_ctrl.h"
#include "platform/window/list_ctrl_native_qt.h"
#include "platform/window/qt_icon.h"
#include "platform/window/qt_text.h"
#include "platform/window/type_ahead_qt.h"

namespace {

// Multi-line edits keep paragraphs; the dialog's callers speak CR LF.
QString ToParagraphs(std::u16string_view text) {
  QString q = ToQString(text);
  q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  q.replace(QChar(u'\r'), QChar(u'\n'));
  return q;
}

std::u16string FromParagraphs(const QTextDocument& document) {
  // toRawText, unlike toPlainText, leaves no-break spaces alone.
  QString q = document.toRawText();
  q.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
  return ToU16(q);
}

Key KeyOf(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Escape: return Key::escape;
    case Qt::Key_PageUp: return Key::pageUp;
    case Qt::Key_PageDown: return Key::pageDown;
    case Qt::Key_Up: return Key::up;
    case Qt::Key_Down: return Key::down;
    default: return Key::other;
  }
}

// "MS Shell Dlg" stands for the system's dialog font, which on the desktop
// is the application's default UI font.
QFont DialogFont(const DialogTemplate& t) {
  if (t.fontName == u"MS Shell Dlg") return QApplication::font();
  QFont font(ToQString(t.fontName));
  font.setPointSize(t.fontPoints);
  return font;
}

}  // namespace

struct CDialog::Window : QDialog {
  Window(CDialog& owner, const DialogTemplate& t);
  ~Window() override;

  QWidget* Control(int id) const {
    auto it = controls.find(id);
    return it == controls.end() ? nullptr : it->second;
  }
  int IdOf(const QWidget* widget) const;
  void FocusFirstTabStop();
  void End(int result);
  int Run();

  void reject() override { owner.OnCancel(); }
  bool eventFilter(QObject* watched, QEvent* event) override;

  CDialog& owner;
  std::map<int, QWidget*> controls;
  bool ended = false;
  int endResult = 0;
  bool inPreTranslate = false;
  // The key event last pre-filtered and its first receiver: Qt hands an
  // unused key on to the parents, and those hops must not be filtered again.
  const QEvent* lastKey = nullptr;
  QPointer<QWidget> lastKeyReceiver;

 private:
  QWidget* MakeControl(const ControlTemplate& c);
};

CDialog::Window::Window(CDialog& ownerDialog, const DialogTemplate& t)
    : QDialog(nullptr), owner(ownerDialog) {
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (t.style & dialog_style::kSysMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  setWindowFlags(flags);
  setWindowTitle(ToQString(t.caption));
  setFont(DialogFont(t));

  // Dialog units: a quarter of the average character width across, an
  // eighth of the character height down.
  const QFontMetrics metrics(font());
  const int baseX = metrics.averageCharWidth();
  const int baseY = metrics.height();
  auto px = [](int units, int base, int divisor) { return (units * base + divisor / 2) / divisor; };
  setFixedSize(px(t.cx, baseX, 4), px(t.cy, baseY, 8));

  // Creation order is the tab order.
  for (const ControlTemplate& c : t.controls) {
    QWidget* widget = MakeControl(c);
    widget->setGeometry(px(c.x, baseX, 4), px(c.y, baseY, 8), px(c.cx, baseX, 4),
                        px(c.cy, baseY, 8));
    if (widget->focusPolicy() != Qt::NoFocus) {
      widget->setFocusPolicy((c.style & dialog_style::kTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
    }
    widget->setProperty("controlId", c.id);
    if (c.id != -1) controls[c.id] = widget;
  }
  qApp->installEventFilter(this);
}

CDialog::Window::~Window() { qApp->removeEventFilter(this); }

QWidget* CDialog::Window::MakeControl(const ControlTemplate& c) {
  const int id = c.id;
  switch (c.kind) {
    case ControlKind::button: {
      auto* button = new QPushButton(ToQString(c.text), this);
      button->setDefault(c.style & dialog_style::kDefPushButton);
      QObject::connect(button, &QPushButton::clicked, this, [this, id] {
        if (id == IDOK) owner.OnOK();
        else if (id == IDCANCEL) owner.OnCancel();
        else owner.Notify(Notification::clicked, id);
      });
      return button;
    }
    case ControlKind::edit: {
      if (c.style & dialog_style::kMultiLine) {
        auto* edit = new QPlainTextEdit(this);
        edit->setPlainText(ToParagraphs(c.text));
        edit->setTabChangesFocus(true);
        edit->setLineWrapMode((c.style & dialog_style::kAutoHScroll) ? QPlainTextEdit::NoWrap
                                                                     : QPlainTextEdit::WidgetWidth);
        // Always when the text overflows: the fields are sized in dialog
        // units for Windows' fonts, and the fonts here wrap the same text
        // to more lines, which would otherwise be out of the mouse's reach.
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        edit->setHorizontalScrollBarPolicy(
            (c.style & dialog_style::kHScroll) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        if (c.style & dialog_style::kReadOnly) {
          edit->setReadOnly(true);
          edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        }
        QObject::connect(edit, &QPlainTextEdit::textChanged, this,
                         [this, id] { owner.Notify(Notification::textChanged, id); });
        return edit;
      }
      auto* edit = new QLineEdit(ToQString(c.text), this);
      edit->setReadOnly(c.style & dialog_style::kReadOnly);
      QObject::connect(edit, &QLineEdit::textChanged, this,
                       [this, id] { owner.Notify(Notification::textChanged, id); });
      return edit;
    }
    case ControlKind::label:
      return new QLabel(ToQString(c.text), this);
    case ControlKind::listView: {
      auto* list = new CListCtrl::Native(this, c.style & dialog_style::kSingleSel);
      QObject::connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                       [this, id] { owner.Notify(Notification::itemChanged, id); });
      QObject::connect(list, &QListWidget::itemDoubleClicked, this,
                       [this, id] { owner.Notify(Notification::doubleClicked, id); });
      return list;
    }
  }
  return new QWidget(this);
}

int CDialog::Window::IdOf(const QWidget* widget) const {
  for (; widget && widget != this; widget = widget->parentWidget()) {
    const QVariant id = widget->property("controlId");
    if (id.isValid()) return id.toInt();
  }
  return 0;
}

void CDialog::Window::FocusFirstTabStop() {
  for (QWidget* w = nextInFocusChain(); w != this; w = w->nextInFocusChain()) {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && !w->isHidden()) {
      w->setFocus(Qt::TabFocusReason);
      return;
    }
  }
}

void CDialog::Window::End(int result) {
  if (ended) return;
  ended = true;
  endResult = result;
  done(result);
}

int CDialog::Window::Run() {
  if (!ended) {
    exec();
    // exec also returns when the window is closed from outside without done.
    if (!ended) End(IDCANCEL);
  }
  return endResult;
}

bool CDialog::Window::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
  if (!watched->isWidgetType() || inPreTranslate) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (widget->window() != this) return false;
  if (event == lastKey && lastKeyReceiver && widget != lastKeyReceiver &&
      widget->isAncestorOf(lastKeyReceiver)) {
    return false;
  }
  lastKey = event;
  lastKeyReceiver = widget;

  const auto* key = static_cast<const QKeyEvent*>(event);
  const KeyMessage message{
      event->type() == QEvent::KeyPress ? KeyMessage::Action::down : KeyMessage::Action::up,
      KeyOf(key->key()), key};
  inPreTranslate = true;
  const bool stop = owner.PreTranslateMessage(message);
  inPreTranslate = false;
  return stop;
}

int CDialog::DoModal() {
  if (!EnsureGuiApplication()) return -1;
  Window window(*this, m_template);
  m_window = &window;
  struct Unbind {
    CDialog& dialog;
    ~Unbind() {
      for (auto& binding : dialog.m_bindings) binding.second->m_native = nullptr;
      dialog.m_bindings.clear();
      dialog.m_window = nullptr;
    }
  } unbind{*this};

  if (OnInitDialog()) window.FocusFirstTabStop();
  // Keys typed while a progress window was up go to the focused control
  // once the window shows.
  QTimer::singleShot(0, &window, [&window] { DeliverTypeAhead(&window); });
  return window.Run();
}

void CDialog::PostLater(std::function<void()> run) {
  if (m_window) QTimer::singleShot(0, m_window, std::move(run));
}

void CDialog::EndDialog(int result) {
  if (m_window) m_window->End(result);
}

void CDialog::SetDlgItemText(int id, const std::u16string& text) {
  QWidget* widget = m_window ? m_window->Control(id) : nullptr;
  if (auto* line = qobject_cast<QLineEdit*>(widget)) line->setText(ToQString(text));
  else if (auto* multi = qobject_cast<QPlainTextEdit*>(widget)) multi->setPlainText(ToParagraphs(text));
  else if (auto* button = qobject_cast<QPushButton*>(widget)) button->setText(ToQString(text));
  else if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(ToQString(text));
}

std::u16string CDialog::GetDlgItemText(int id) const {
  QWidget* widget = m_window ? m_window->Control(id) : nullptr;
  if (auto* line = qobject_cast<QLineEdit*>(widget)) return ToU16(line->text());
  if (auto* multi = qobject_cast<QPlainTextEdit*>(widget)) return FromParagraphs(*multi->document());
  if (auto* button = qobject_cast<QPushButton*>(widget)) return ToU16(button->text());
  if (auto* label = qobject_cast<QLabel*>(widget)) return ToU16(label->text());
  return {};
}

void CDialog::EnableControl(int id, bool enable) {
  if (QWidget* widget = m_window ? m_window->Control(id) : nullptr) widget->setEnabled(enable);
}

bool CDialog::IsControlEnabled(int id) const {
  QWidget* widget = m_window ? m_window->Control(id) : nullptr;
  return widget && widget->isEnabled();
}

void CDialog::GotoDlgCtrl(int id) {
  if (QWidget* widget = m_window ? m_window->Control(id) : nullptr) widget->setFocus(Qt::OtherFocusReason);
}

int CDialog::GetFocusedControl() const {
  // The window's focus child, which it keeps while another window is active.
  return m_window ? m_window->IdOf(m_window->focusWidget()) : 0;
}

void CDialog::SetIcon(int iconId) {
  if (m_window) m_window->setWindowIcon(IconResource(iconId));
}

void CDialog::BindList(int id, CListCtrl& list) {
  QWidget* widget = m_window ? m_window->Control(id) : nullptr;
  auto* native = dynamic_cast<CListCtrl::Native*>(widget);
  if (!native) return;
  list.m_native = native;
  m_bindings.emplace_back(id, &list);
}
