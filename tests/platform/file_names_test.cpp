#include "platform/text/file_names.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/text/utf8.h"

namespace {

TEST(FileNames, Utf8DecodesAndEveryByteStringRoundTrips) {
  EXPECT_EQ(FromNativeName("Заметка.txt"), u"Заметка.txt");
  EXPECT_EQ(FromNativeName("\xF0\x9F\x93\x9D"), u"\U0001F4DD");
  EXPECT_EQ(FromNativeName("a\xFF" "b"), u"a\xDCFF" u"b");
  EXPECT_EQ(FromNativeName("\xD0"), u"\xDCD0");

  const std::string samples[] = {
      "plain.txt", "Заметка.txt", "\xFF\xFE", "\xC0\x80", "\xED\xA0\x80",  // overlong, surrogate
      "\xE2\x82", "caf\xE9.txt", "\xF4\x90\x80\x80", std::string("\x80\x81\xBF", 3)};
  for (const std::string& bytes : samples) {
    EXPECT_EQ(ToNativeName(FromNativeName(bytes)), bytes);
  }
  for (int b = 1; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(ToNativeName(FromNativeName(one)), one) << b;
  }
}

// A listing decodes every name into one used string: the result is that
// name's decoding alone, as decoding a character at a time gives it.
TEST(FileNames, DecodingIntoAUsedStringMatchesDecodingEachCharacter) {
  const std::string pool = "a.\x7F\x80\xBF\xC2\xD0\xDF\xE0\xED\xEF\xF0\xF4\x90\x9F\xA0\xF5\xFF";
  std::mt19937 random(7);
  std::u16string reused = u"longer than any name here";
  for (int i = 0; i < 200000; ++i) {
    std::string bytes;
    for (auto n = random() % 8; n > 0; --n) bytes += pool[random() % pool.size()];
    std::u16string expected;
    for (std::size_t at = 0, length = 0; at < bytes.size(); at += length) {
      char32_t c;
      length = DecodeUtf8(bytes, at, &c);
      if (c != kIllFormed) AppendUtf16(expected, c);
      for (std::size_t j = at; c == kIllFormed && j < at + length; ++j) {
        expected += static_cast<char16_t>(0xDC80 + static_cast<unsigned char>(bytes[j]) - 0x80);
      }
    }
    AssignNativeName(reused, bytes);
    ASSERT_EQ(reused, expected) << ::testing::PrintToString(bytes);
  }
}

TEST(FileNames, StrayHighSurrogateBecomesReplacementCharacter) {
  EXPECT_EQ(ToNativeName(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b");
}

}  // namespace
