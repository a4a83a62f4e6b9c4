// Runs the search mode's folder refresh on the folder given, after the
// locale step and with no window, as scriblet.exe /s would: the Windows
// half of the cross-system index test until the Windows program has its
// dialogs. Usage: refresh_folder <folder>
#include <cstdio>
#include <cwchar>
#include <string>

#include "index/refresh.h"
#include "index/search_window.h"
#include "platform/locale_setup.h"

namespace {

class NoWindow : public SearchWindow {
 public:
  void Show(WordIndex&, const std::u16string&) override {}
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 || *argv[1] == L'\0') {
    std::fputs("usage: refresh_folder <folder>\n", stderr);
    return 2;
  }
  SetUpLocale();
  NoWindow window;
  Refresh(Env::Default(), reinterpret_cast<const char16_t*>(argv[1]), window);
  return 0;
}
