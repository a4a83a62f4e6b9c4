#pragma once
// On Windows a wchar_t is one UTF-16 code unit, so the program's strings go
// to the W functions of the system as they are. Include after <windows.h>.

#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be UTF-16");

inline const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline std::u16string FromWide(const wchar_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}
