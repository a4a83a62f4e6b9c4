#include "platform/os/editor.h"

#include <cstdlib>

#include "platform/text/file_names.h"
#include "platform/os/windows_api.h"

namespace {

// The variable as Windows holds it, UTF-16: the ANSI getenv would lose
// characters beyond the code page.
const wchar_t* ConfiguredEditor() {
  const wchar_t* configured = _wgetenv(L"SCRIBLET_EDITOR");
  return configured != nullptr && *configured != L'\0' ? configured : nullptr;
}

}  // namespace

// UTF-8 here, as FromNativeName reads it back on Windows.
std::string EditorProgram() {
  const wchar_t* configured = ConfiguredEditor();
  return configured != nullptr ? ToNativeName(FromWide(configured)) : "notepad.exe";
}

bool EditorConfigured() { return ConfiguredEditor() != nullptr; }

const std::u16string_view kDefaultEditorHint =
    u"Укажите редактор в переменной окружения SCRIBLET_EDITOR: имя программы или "
    u"полный путь, например SCRIBLET_EDITOR=notepad++.exe.";
