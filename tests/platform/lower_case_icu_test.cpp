// The user-mode lowering must be ICU's simple mapping, code point by code
// point, whatever shortcut it takes for common characters.
#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <cstdint>
#include <string>

#include "platform/text/lower_case.h"

namespace {

// Each code point through u_tolower, kept when its lower case has as many
// code units.
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

TEST(LowerCaseUser, EveryCodePointIsLoweredAsIcuDoes) {
  // Every BMP unit (lone surrogates included) between others, then every
  // supplementary code point as its pair, then broken pairs.
  std::u16string texts[] = {u"ЀЏѠѢ ΣΑΣ İI ǅǄ ẞ Ω K Å Ⓐ",
                            std::u16string(u"Ж") + char16_t{0xD801} + u"Я" + char16_t{0xDC00},
                            std::u16string(u"Ѐ") + char16_t{0xD801}};
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    std::u16string text = c < 0x10000 ? std::u16string(u"Ab") + static_cast<char16_t>(c) + u"Жz"
                                      : std::u16string{static_cast<char16_t>(U16_LEAD(c)),
                                                       static_cast<char16_t>(U16_TRAIL(c))};
    const std::u16string expected = IcuLower(text);
    ASSERT_TRUE(LowerCaseUserInPlace(text));
    ASSERT_EQ(text, expected) << std::hex << static_cast<std::uint32_t>(c);
  }
  for (std::u16string& text : texts) {
    const std::u16string expected = IcuLower(text);
    LowerCaseUserInPlace(text);
    EXPECT_EQ(text, expected);
  }
}

}  // namespace
