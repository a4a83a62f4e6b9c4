// The user-mode lowering must be ICU's simple mapping, code point by code
// point, whatever shortcut it takes for common characters.
#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <cstdint>
#include <string>

#include "platform/text/lower_case.h"

namespace {

// Every code point through u_tolower, kept only when the lower case has as
// many code units.
std::u16string IcuLower(std::u16string text) {
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c;
    U16_NEXT(text.data(), i, length, c);
    const UChar32 lower = u_tolower(c);
    if (U16_LENGTH(lower) != i - start) continue;
    int32_t at = start;
    U16_APPEND_UNSAFE(text.data(), at, lower);
  }
  return text;
}

TEST(LowerCaseUser, EveryCodeUnitAndPairIsLoweredAsIcuDoes) {
  // Each BMP unit alone (lone surrogates included), then between others.
  for (char32_t unit = 0; unit < 0x10000; ++unit) {
    const std::u16string original(1, static_cast<char16_t>(unit));
    std::u16string text = original;
    ASSERT_TRUE(LowerCaseUserInPlace(text));
    ASSERT_EQ(text, IcuLower(original)) << std::hex << static_cast<std::uint32_t>(unit);
  }
  for (char32_t unit = 0; unit < 0x10000; ++unit) {
    const std::u16string original = std::u16string(u"Ab") + static_cast<char16_t>(unit) + u"Жz";
    std::u16string text = original;
    LowerCaseUserInPlace(text);
    ASSERT_EQ(text, IcuLower(original)) << std::hex << static_cast<std::uint32_t>(unit);
  }
  // Every supplementary code point as a pair, where Deseret, Osage and
  // others have cases.
  for (char32_t c = 0x10000; c <= 0x10FFFF; ++c) {
    std::u16string text;
    text += static_cast<char16_t>(U16_LEAD(c));
    text += static_cast<char16_t>(U16_TRAIL(c));
    const std::u16string original = text;
    LowerCaseUserInPlace(text);
    ASSERT_EQ(text, IcuLower(original)) << std::hex << static_cast<std::uint32_t>(c);
  }
}

TEST(LowerCaseUser, MixedScriptsAndBrokenPairs) {
  const std::u16string cases[] = {
      u"ПРИВЕТ Мир ABC Ёж ЀЏѠѢ ΣΑΣ İI 𐐀",
      std::u16string(u"Ж") + char16_t{0xD801} + u"Я" + char16_t{0xDC00} + u"Q",  // lone halves
      std::u16string(u"Ѐ") + char16_t{0xD801},                                      // lead at the end
      u"ǅǄǆ ẞ Ω K Å ⅠⓐⒶ",
  };
  for (const std::u16string& original : cases) {
    std::u16string text = original;
    LowerCaseUserInPlace(text);
    EXPECT_EQ(text, IcuLower(original));
  }
}

}  // namespace
