// The locale step on Windows: the thread takes the user's default locale,
// whose English language and country names and ANSI code page name the C
// runtime's locale ("Russian_Russia.1251"). SCRIBLET_CODEPAGE still chooses
// the code page the notes are read in.
#include "platform/os/windows_api.h"

#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "platform/text/code_page.h"
#include "platform/text/locale_setup.h"
#include "platform/text/lower_case.h"

namespace {

constexpr int kCapacity = 64;

std::string Utf8Of(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(),
                        size, nullptr, nullptr);
  }
  return out;
}

}  // namespace

LocaleSetup SetUpLocale() {
  LocaleSetup result{{}, {}, 1252, false};
  SetThreadLocale(LOCALE_USER_DEFAULT);

  // The queries stop at the first one that fails, leaving the C locale.
  std::wstring values[3];
  bool queried = true;
  for (int i = 0; i < 3 && queried; ++i) {
    static constexpr LCTYPE kTypes[3] = {LOCALE_SENGLANGUAGE, LOCALE_SENGCOUNTRY,
                                         LOCALE_IDEFAULTANSICODEPAGE};
    wchar_t buffer[kCapacity];
    const int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, kTypes[i], buffer, kCapacity);
    if (length <= 0) {
      queried = false;
    } else {
      values[i].assign(buffer, static_cast<std::size_t>(length - 1));
    }
  }

  // The thread's ANSI code page is the user locale's, unless the setting names one.
  result.codePage = static_cast<int>(GetACP());
  if (queried) result.codePage = static_cast<int>(std::wcstol(values[2].c_str(), nullptr, 10));
  if (const char* setting = std::getenv("SCRIBLET_CODEPAGE")) {
    if (auto codePage = ParseCodePage(setting)) result.codePage = *codePage;
  }
  if (result.codePage <= 0) result.codePage = static_cast<int>(GetACP());
  SetAnsiCodePage(result.codePage);

  if (queried) {
    const std::wstring name = values[0] + L"_" + values[1] + L"." + values[2];
    result.userLowerCase = _wsetlocale(LC_ALL, name.c_str()) != nullptr;
  }
  if (result.userLowerCase) {
    result.language = Utf8Of(values[0]);
    result.country = Utf8Of(values[1]);
  } else {
    _wsetlocale(LC_ALL, L"C");
  }
  SetUserLowerCase(result.userLowerCase);
  return result;
}
