#include "platform/window/message_box.h"

#include <cstdio>

#include "platform/os/windows_api.h"
#include "platform/text/file_names.h"

bool ShowMessageBox(const std::u16string& caption, const std::u16string& text) {
  if (MessageBoxW(nullptr, Wide(text), Wide(caption), MB_OK | MB_ICONWARNING) != 0) return true;
  std::fprintf(stderr, "%s: %s\n", ToNativeName(caption).c_str(), ToNativeName(text).c_str());
  return false;
}
