// CDialog realised with Win32: the template becomes a DLGTEMPLATE in
// memory, made by CreateDialogIndirectParamW, and the modal loop is our
// own so that the pre-filter sees each key before IsDialogMessageW does.
#include "platform/window/dialog.h"
#include "platform/window/list_ctrl.h"
#include "platform/window/list_ctrl_native_win32.h"

#include <commctrl.h>

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/os/windows_api.h"

namespace {

// Class atoms of the predefined controls in a dialog template.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;

// Posted to the dialog to report a list's settled selection; wParam is its id.
constexpr UINT kSelectionSettled = WM_APP + 1;
// PostLater's timer. A timer's message comes only once no input or other
// message waits, which a posted message (served before input) would not.
constexpr UINT_PTR kRunLaterTimer = 1;

class TemplateWriter {
 public:
  void Word(WORD w) { Put(&w, sizeof w); }
  void Dword(DWORD d) { Put(&d, sizeof d); }
  void Text(std::u16string_view text) {
    for (char16_t c : text) Word(c);
    Word(0);
  }
  void AlignDword() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  // Where a count is patched in once known.
  std::size_t Size() const { return bytes_.size(); }
  void PatchWord(std::size_t at, WORD w) { std::memcpy(bytes_.data() + at, &w, sizeof w); }
  // DWORD-aligned storage, as the dialog functions require.
  std::unique_ptr<DWORD[]> Finish() const {
    auto out = std::make_unique<DWORD[]>(bytes_.size() / 4 + 1);
    std::memcpy(out.get(), bytes_.data(), bytes_.size());
    return out;
  }

 private:
  void Put(const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  std::vector<unsigned char> bytes_;
};

std::unique_ptr<DWORD[]> BuildTemplate(const DialogTemplate& t) {
  TemplateWriter w;
  // Centred on the screen, as dialogs of the framework and of Qt open.
  w.Dword(t.style | DS_SETFONT | DS_CENTER);
  w.Dword(t.exStyle);
  w.Word(static_cast<WORD>(t.controls.size()));
  w.Word(0);  // x
  w.Word(0);  // y
  w.Word(static_cast<WORD>(t.cx));
  w.Word(static_cast<WORD>(t.cy));
  w.Word(0);  // no menu
  w.Word(0);  // the standard dialog class
  w.Text(t.caption);
  w.Word(static_cast<WORD>(t.fontPoints));
  w.Text(t.fontName);
  for (const ControlTemplate& c : t.controls) {
    w.AlignDword();
    w.Dword(c.style);
    w.Dword(0);
    w.Word(static_cast<WORD>(c.x));
    w.Word(static_cast<WORD>(c.y));
    w.Word(static_cast<WORD>(c.cx));
    w.Word(static_cast<WORD>(c.cy));
    w.Word(static_cast<WORD>(c.id));
    switch (c.kind) {
      case ControlKind::button: w.Word(0xFFFF); w.Word(kButtonAtom); break;
      case ControlKind::edit: w.Word(0xFFFF); w.Word(kEditAtom); break;
      case ControlKind::label: w.Word(0xFFFF); w.Word(kStaticAtom); break;
      case ControlKind::listView: w.Text(u"SysListView32"); break;
    }
    w.Text(c.text);
    w.Word(0);  // no creation data
  }
  return w.Finish();
}

Key KeyOf(WPARAM virtualKey) {
  switch (virtualKey) {
    case VK_ESCAPE: return Key::escape;
    case VK_PRIOR: return Key::pageUp;
    case VK_NEXT: return Key::pageDown;
    case VK_UP: return Key::up;
    case VK_DOWN: return Key::down;
    default: return Key::other;
  }
}

// Multi-line edits show a line break only for CR LF.
std::u16string WithCrLf(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      out += u"\r\n";
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

bool IsMultiLineEdit(HWND control) {
  wchar_t className[16];
  return GetClassNameW(control, className, 16) > 0 && lstrcmpiW(className, L"Edit") == 0 &&
         (GetWindowLongW(control, GWL_STYLE) & ES_MULTILINE) != 0;
}

}  // namespace

struct CDialog::Window {
  CDialog& owner;
  HWND hwnd = nullptr;
  bool ended = false;
  int endResult = 0;
  std::map<int, std::unique_ptr<CListCtrl::Native>> lists;
  std::vector<std::function<void()>> later;

  HWND Control(int id) const { return hwnd ? GetDlgItem(hwnd, id) : nullptr; }

  void End(int result) {
    if (ended) return;
    ended = true;
    endResult = result;
  }

  static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  bool PreFilter(MSG& msg);
};

INT_PTR CALLBACK CDialog::Window::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    auto* window = reinterpret_cast<Window*>(lParam);
    window->hwnd = hwnd;
    for (const ControlTemplate& c : window->owner.m_template.controls) {
      if (c.kind == ControlKind::listView && c.id != -1) {
        window->lists[c.id] = std::make_unique<CListCtrl::Native>(
            CListCtrl::Native{GetDlgItem(hwnd, c.id)});
      }
    }
    // True lets the dialog manager focus the first tab stop.
    return window->owner.OnInitDialog() ? TRUE : FALSE;
  }
  auto* window = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  return window ? window->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR CDialog::Window::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      if (id == IDOK && code == BN_CLICKED) {
        owner.OnOK();
      } else if (id == IDCANCEL && code == BN_CLICKED) {
        owner.OnCancel();  // also Escape and the close box
      } else if (code == BN_CLICKED && lParam != 0) {
        owner.Notify(Notification::clicked, id);
      } else if (code == EN_CHANGE) {
        owner.Notify(Notification::textChanged, id);
      }
      return TRUE;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      const int id = static_cast<int>(header->idFrom);
      auto list = lists.find(id);
      if (list == lists.end()) return FALSE;
      CListCtrl::Native& native = *list->second;
      if (header->code == LVN_ITEMCHANGED && !native.quiet) {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
        if ((change->uChanged & LVIF_STATE) != 0 &&
            ((change->uOldState ^ change->uNewState) & LVIS_SELECTED) != 0 &&
            !native.selectionPending) {
          native.selectionPending = true;
          PostMessageW(hwnd, kSelectionSettled, static_cast<WPARAM>(id), 0);
        }
      } else if (header->code == NM_DBLCLK) {
        const auto* activate = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
        if (activate->iItem >= 0) owner.Notify(Notification::doubleClicked, id);
      }
      return TRUE;
    }
    case kSelectionSettled: {
      const int id = static_cast<int>(wParam);
      auto list = lists.find(id);
      if (list == lists.end() || !list->second->selectionPending) return TRUE;
      list->second->selectionPending = false;
      owner.Notify(Notification::itemChanged, id);
      return TRUE;
    }
    case WM_TIMER: {
      if (wParam != kRunLaterTimer) return FALSE;
      KillTimer(hwnd, kRunLaterTimer);
      // What these queue runs on the next round.
      std::vector<std::function<void()>> now;
      now.swap(later);
      for (auto& run : now) {
        if (ended) break;
        run();
      }
      return TRUE;
    }
    case WM_CLOSE:
      owner.OnCancel();
      return TRUE;
    default:
      return FALSE;
  }
}

bool CDialog::Window::PreFilter(MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP) return false;
  if (msg.hwnd != hwnd && !IsChild(hwnd, msg.hwnd)) return false;
  const KeyMessage message{
      msg.message == WM_KEYDOWN ? KeyMessage::Action::down : KeyMessage::Action::up,
      KeyOf(msg.wParam), &msg};
  return owner.PreTranslateMessage(message);
}

int CDialog::DoModal() {
  // The list-view class comes from the common controls.
  static const bool commonControls = [] {
    INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    return InitCommonControlsEx(&classes) != FALSE;
  }();
  (void)commonControls;

  const std::unique_ptr<DWORD[]> dialogTemplate = BuildTemplate(m_template);
  Window window{*this, nullptr, false, 0, {}, {}};
  m_window = &window;
  struct Unbind {
    CDialog& dialog;
    Window& window;
    ~Unbind() {
      for (auto& binding : dialog.m_bindings) binding.second->m_native = nullptr;
      dialog.m_bindings.clear();
      dialog.m_window = nullptr;
      if (window.hwnd) DestroyWindow(window.hwnd);
    }
  } unbind{*this, window};

  const HWND hwnd = CreateDialogIndirectParamW(
      GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.get()),
      nullptr, &Window::Proc, reinterpret_cast<LPARAM>(&window));
  if (hwnd == nullptr) return -1;
  window.hwnd = hwnd;
  if (!window.ended) {
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
  }
  MSG msg;
  while (!window.ended) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // WM_QUIT belongs to an outer loop: hand it back once this one ends.
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      window.End(IDCANCEL);
      break;
    }
    if (window.PreFilter(msg)) continue;
    if (!IsDialogMessageW(hwnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return window.endResult;
}

void CDialog::PostLater(std::function<void()> run) {
  if (!m_window || !m_window->hwnd) return;
  m_window->later.push_back(std::move(run));
  SetTimer(m_window->hwnd, kRunLaterTimer, USER_TIMER_MINIMUM, nullptr);
}

void CDialog::EndDialog(int result) {
  if (m_window) m_window->End(result);
}

void CDialog::SetDlgItemText(int id, const std::u16string& text) {
  const HWND control = m_window ? m_window->Control(id) : nullptr;
  if (!control) return;
  SetWindowTextW(control, Wide(IsMultiLineEdit(control) ? WithCrLf(text) : text));
}

std::u16string CDialog::GetDlgItemText(int id) const {
  const HWND control = m_window ? m_window->Control(id) : nullptr;
  if (!control) return {};
  std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, u'\0');
  const int length = GetWindowTextW(control, reinterpret_cast<wchar_t*>(text.data()),
                                    static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  return text;
}

void CDialog::EnableControl(int id, bool enable) {
  if (const HWND control = m_window ? m_window->Control(id) : nullptr) EnableWindow(control, enable);
}

bool CDialog::IsControlEnabled(int id) const {
  const HWND control = m_window ? m_window->Control(id) : nullptr;
  return control && IsWindowEnabled(control);
}

void CDialog::GotoDlgCtrl(int id) {
  const HWND control = m_window ? m_window->Control(id) : nullptr;
  if (control) SendMessageW(m_window->hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

int CDialog::GetFocusedControl() const {
  if (!m_window || !m_window->hwnd) return 0;
  const HWND focus = GetFocus();
  return focus && IsChild(m_window->hwnd, focus) ? GetDlgCtrlID(focus) : 0;
}

void CDialog::SetIcon(int iconId) {
  if (!m_window || !m_window->hwnd) return;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  for (const auto& [which, metric] : {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
    const int size = GetSystemMetrics(metric);
    const HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, size, size,
                                   LR_DEFAULTCOLOR | LR_SHARED);
    if (icon) SendMessageW(m_window->hwnd, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
  }
}

void CDialog::BindList(int id, CListCtrl& list) {
  if (!m_window) return;
  auto native = m_window->lists.find(id);
  if (native == m_window->lists.end()) return;
  list.m_native = native->second.get();
  m_bindings.emplace_back(id, &list);
}
