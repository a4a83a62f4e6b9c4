#pragma once
// The one way Windows files reach <windows.h>. Its ...A/...W macros that
// share a name with a member of ours are undone here, once; the framework's
// TRUE, FALSE, IDOK and IDCANCEL need nothing (see windows_names.h). On
// Windows a wchar_t is one UTF-16 code unit, so the program's strings go to
// the W functions as they are.

#include <windows.h>
#undef GetDlgItemText
#undef SetDlgItemText

#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be UTF-16");

inline const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline std::u16string FromWide(const wchar_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}
