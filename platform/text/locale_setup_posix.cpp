#include "platform/text/locale_setup.h"

#include <langinfo.h>
#include <unicode/uloc.h>

#include <clocale>
#include <cstdlib>

#include "platform/text/code_page.h"
#include "platform/text/lower_case.h"

namespace {

// The locale the user asked for, read the way setlocale(LC_ALL, "") reads it.
std::string RequestedLocale() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

// "ru_RU.UTF-8@euro" -> "UTF-8".
std::string CharsetOf(const std::string& locale) {
  const auto dot = locale.find('.');
  if (dot == std::string::npos) return {};
  return locale.substr(dot + 1, locale.find('@', dot) - dot - 1);
}

bool IsPlainC(const std::string& locale) {
  return locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0;
}

std::string EnglishName(const std::string& locale,
                        int32_t (*query)(const char*, const char*, UChar*, int32_t,
                                         UErrorCode*)) {
  UChar buffer[64];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = query(locale.c_str(), "en", buffer, 64, &status);
  if (U_FAILURE(status) || status == U_USING_DEFAULT_WARNING || length <= 0 || length >= 64) {
    return {};
  }
  // English display names are ASCII.
  return std::string(buffer, buffer + length);
}

int ChooseCodePage(const std::string& requested, bool localeLoaded) {
  if (const char* setting = std::getenv("SCRIBLET_CODEPAGE")) {
    if (auto codePage = ParseCodePage(setting)) return *codePage;
  }
  const std::string charset = localeLoaded ? nl_langinfo(CODESET) : CharsetOf(requested);
  return ParseCodePage(charset).value_or(1252);
}

}  // namespace

LocaleSetup SetUpLocale() {
  LocaleSetup result{{}, {}, 1252, false};
  const std::string requested = RequestedLocale();
  // glibc refuses the whole of LC_ALL when any one category names a locale
  // the system lacks (a date format's, say); only the character category
  // matters here.
  const bool loaded =
      std::setlocale(LC_ALL, "") != nullptr || std::setlocale(LC_CTYPE, "") != nullptr;

  // The code page is set whatever becomes of the locale itself.
  result.codePage = ChooseCodePage(requested, loaded);
  SetAnsiCodePage(result.codePage);

  if (loaded && !IsPlainC(requested)) {
    const std::string id = requested.substr(0, requested.find_first_of(".@"));
    result.language = EnglishName(id, uloc_getDisplayLanguage);
    if (!result.language.empty()) result.country = EnglishName(id, uloc_getDisplayCountry);
  }
  result.userLowerCase = !result.language.empty() && !result.country.empty();
  if (!result.userLowerCase) {
    result.language.clear();
    result.country.clear();
    std::setlocale(LC_ALL, "C");
  }
  SetUserLowerCase(result.userLowerCase);
  return result;
}
