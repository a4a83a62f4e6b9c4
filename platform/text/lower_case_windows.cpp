// Lower-casing on Windows: the user locale's LCMapStringW, as the C runtime
// lowers wide text under a real locale. Its plain lower-case mapping never
// changes a string's length.

#include "platform/os/windows_api.h"

#include <climits>

#include "platform/text/lower_case.h"

bool LowerCaseUserInPlace(std::u16string& text) {
  if (text.empty() || text.size() > INT_MAX) return false;
  std::u16string lower(text.size(), u'\0');
  const int length = static_cast<int>(text.size());
  if (LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, Wide(text), length,
                   reinterpret_cast<wchar_t*>(lower.data()), length) != length) {
    return false;
  }
  text.swap(lower);
  return true;
}

// LCMapStringW of the invariant locale, one unit at a time: the mapping of
// NTFS's own upper-case table, which knows no surrogate pairs.
std::u16string UpperCaseUnits(std::u16string text) {
  for (char16_t& unit : text) {
    wchar_t upper = 0;
    const auto in = static_cast<wchar_t>(unit);
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &in, 1, &upper, 1) == 1) {
      unit = static_cast<char16_t>(upper);
    }
  }
  return text;
}
