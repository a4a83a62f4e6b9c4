// The progress window on Windows: a small captioned window with one line of
// text and a progress bar, painted from the refresh's own thread. Keys typed
// meanwhile wait for the search window, as on Linux.
#include "app/progress_window.h"

#include "platform/os/windows_api.h"
#include <commctrl.h>

namespace {

constexpr wchar_t kClassName[] = L"ScribletProgress";

bool RegisterOnce() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT));
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kClassName;
    return RegisterClassW(&windowClass) != 0;
  }();
  return registered;
}

// Handles what is already waiting except input: painting and the system's
// own messages.
void Paint() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0,
                      PM_REMOVE | PM_QS_PAINT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

class Win32ProgressDialog final : public ProgressDialog {
 public:
  // Null window when none can be made (no display under Wine).
  explicit Win32ProgressDialog(const std::u16string& caption) {
    if (!RegisterOnce()) return;
    const int width = 360, height = 120;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    window_ = CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, Wide(caption),
                              WS_POPUP | WS_CAPTION, x, y, width, height, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr) return;
    RECT client{};
    GetClientRect(window_, &client);
    const int inner = client.right - 24;
    const HWND label = CreateWindowExW(0, L"STATIC", L"Обновляю указатель заметок…",
                                       WS_CHILD | WS_VISIBLE, 12, 14, inner, 20, window_, nullptr,
                                       nullptr, nullptr);
    bar_ = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 12, 44, inner, 20,
                           window_, nullptr, nullptr, nullptr);
    const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(label, WM_SETFONT, font, FALSE);
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
  }
  ~Win32ProgressDialog() override {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  Win32ProgressDialog(const Win32ProgressDialog&) = delete;
  Win32ProgressDialog& operator=(const Win32ProgressDialog&) = delete;

  bool Made() const { return window_ != nullptr && bar_ != nullptr; }

  void Show(int value, int maximum) override {
    if (maximum == 0) {
      // The total is not known yet: a bar that fills and starts again, since
      // a moving marquee needs a newer common-controls library.
      moving_ = (moving_ + kMovingStep) % (kMovingRange + kMovingStep);
      value = moving_;
      maximum = kMovingRange;
    }
    SendMessageW(bar_, PBM_SETRANGE32, 0, maximum);
    SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(value), 0);
    Paint();
  }

 private:
  static constexpr int kMovingRange = 100, kMovingStep = 5;

  HWND window_ = nullptr;
  HWND bar_ = nullptr;
  int moving_ = 0;
};

}  // namespace

std::unique_ptr<ProgressDialog> ProgressDialog::Open(const std::u16string& caption) {
  auto dialog = std::make_unique<Win32ProgressDialog>(caption);
  if (!dialog->Made()) return nullptr;
  return dialog;
}
