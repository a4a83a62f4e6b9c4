#include "platform/text/file_names.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/utf8.h"

namespace {

// The decoding as first written, a code point at a time, to hold the fast
// one to.
std::u16string DecodedOneByOne(std::string_view bytes) {
  std::u16string out;
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t c;
    const std::size_t length = DecodeUtf8(bytes, i, &c);
    if (c == kIllFormed) {
      for (std::size_t j = i; j < i + length; ++j) {
        out.push_back(static_cast<char16_t>(0xDC80 + (static_cast<unsigned char>(bytes[j]) - 0x80)));
      }
    } else {
      AppendUtf16(out, c);
    }
    i += length;
  }
  return out;
}

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

// A listing decodes every name into one string: whatever it held before,
// longer or shorter, the result is the name's decoding alone.
TEST(FileNames, DecodingIntoAUsedStringMatchesDecodingEachCharacter) {
  std::vector<std::string> samples;
  // Every two-byte pair from a byte 80..FF (any lead, a lone trail), alone
  // and cut off at the end of a name.
  for (int lead = 0x80; lead < 0x100; ++lead) {
    samples.push_back(std::string(1, static_cast<char>(lead)));
    for (int next = 0; next < 0x100; ++next) {
      samples.push_back({static_cast<char>(lead), static_cast<char>(next), 'x'});
    }
  }
  std::mt19937 random(7);
  const char pool[] = {'a', '.', '\x7F', '\x80', '\xBF', '\xC2', '\xD0', '\xDF', '\xE0', '\xED',
                       '\xEF', '\xF0', '\xF4', '\x90', '\x9F', '\xA0', '\xF5', '\xFF'};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof pool - 1);
  std::uniform_int_distribution<int> length(0, 24);
  for (int i = 0; i < 20000; ++i) {
    std::string bytes;
    for (int n = length(random); n > 0; --n) bytes += pool[pick(random)];
    samples.push_back(bytes);
  }
  std::u16string reused = u"a name longer than most of the samples";
  for (const std::string& bytes : samples) {
    AssignNativeName(reused, bytes);
    ASSERT_EQ(reused, DecodedOneByOne(bytes)) << ::testing::PrintToString(bytes);
    ASSERT_EQ(FromNativeName(bytes), reused);
  }
}

TEST(FileNames, StrayHighSurrogateBecomesReplacementCharacter) {
  EXPECT_EQ(ToNativeName(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b");
}

}  // namespace
