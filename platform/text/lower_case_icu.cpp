// Lower- and upper-casing with ICU: Unicode's simple mappings.
#include "platform/text/lower_case.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace {

// The simple lower case of the code units whose mapping is known here
// exactly (ASCII and the basic Cyrillic block, which make up most notes),
// or 0 for any other: asking ICU costs several table lookups a character.
char16_t KnownLower(char16_t c) {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c;
  if (c < 0x400 || c >= 0x460) return 0;
  if (c < 0x410) return static_cast<char16_t>(c + 0x50);  // Ѐ..Џ
  if (c < 0x430) return static_cast<char16_t>(c + 0x20);  // А..Я
  return c;                                               // а..я, ѐ..џ
}

}  // namespace

bool LowerCaseUserInPlace(std::u16string& text) {
  // Simple (one-to-one) mapping keeps a character in its plane, so each
  // code point is rewritten in place with the same number of code units.
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    const char16_t known = KnownLower(text[static_cast<std::size_t>(i)]);
    if (known != 0) {
      text[static_cast<std::size_t>(i++)] = known;
      continue;
    }
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
