// Lower- and upper-casing with ICU: Unicode's simple mappings.
#include "platform/text/lower_case.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

bool LowerCaseUserInPlace(std::u16string& text) {
  // Simple (one-to-one) mapping keeps a character in its plane, so each
  // code point is rewritten in place with the same number of code units.
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c;
    U16_NEXT(text.data(), i, length, c);
    const UChar32 lower = u_tolower(c);
    if (lower == c || U16_LENGTH(lower) != i - start) continue;
    int32_t at = start;
    U16_APPEND_UNSAFE(text.data(), at, lower);
  }
  return true;
}

std::u16string UpperCaseUnits(std::u16string text) {
  for (char16_t& unit : text) unit = static_cast<char16_t>(u_toupper(unit));
  return text;
}
