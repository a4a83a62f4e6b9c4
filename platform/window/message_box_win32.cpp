#include "platform/window/message_box.h"

#include <cstdio>

#include "platform/os/windows_api.h"
#include "platform/text/file_names.h"

bool ShowMessageBox(const std::u16string& caption, const std::u16string& text) {
  // Owned by the active window (the search window), which it holds until it
  // is closed, as on Linux; without one it stands alone.
  if (MessageBoxW(GetActiveWindow(), Wide(text), Wide(caption), MB_OK | MB_ICONWARNING) != 0) {
    return true;
  }
  std::fprintf(stderr, "%s: %s\n", ToNativeName(caption).c_str(), ToNativeName(text).c_str());
  return false;
}
