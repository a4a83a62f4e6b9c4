// The text layer decodes UTF-8 itself on every system; ICU's U8_NEXT,
// which Linux used before, stays the reference: every sequence of up to
// three bytes, and random longer ones, must be cut into the same pieces
// and give the same code points, so file names and note words are what
// they were.

#include <gtest/gtest.h>
#include <unicode/utf8.h>

#include <random>
#include <string>

#include "platform/text/file_names.h"
#include "platform/text/utf8.h"

namespace {

// The pieces of text as U8_NEXT cuts it: "<length>:<code point or -1>" each.
std::string IcuPieces(const std::string& text) {
  std::string out;
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);
    out += std::to_string(i - start) + ':' + std::to_string(c < 0 ? -1 : c) + ' ';
  }
  return out;
}

std::string OurPieces(const std::string& text) {
  std::string out;
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t c;
    const std::size_t length = DecodeUtf8(text, pos, &c);
    out += std::to_string(length) + ':' +
           std::to_string(c == kIllFormed ? -1 : static_cast<long>(c)) + ' ';
    pos += length;
  }
  return out;
}

TEST(Utf8, CutsEveryShortSequenceAsIcuDoes) {
  std::string text(3, '\0');
  for (int a = 0; a < 256; ++a) {
    text.resize(1);
    text[0] = static_cast<char>(a);
    ASSERT_EQ(OurPieces(text), IcuPieces(text)) << a;
    if (a < 0xC0) continue;  // a continuation or ASCII byte ends its piece at once
    for (int b = 0; b < 256; ++b) {
      text.resize(2);
      text[1] = static_cast<char>(b);
      ASSERT_EQ(OurPieces(text), IcuPieces(text)) << a << ' ' << b;
      for (int c = 0x70; c < 0xD0; ++c) {  // around the continuation range
        text.resize(3);
        text[2] = static_cast<char>(c);
        ASSERT_EQ(OurPieces(text), IcuPieces(text)) << a << ' ' << b << ' ' << c;
      }
    }
  }
}

TEST(Utf8, CutsRandomTextAsIcuDoes) {
  std::mt19937 random(12);
  // Bytes that start, continue and break sequences, four-byte leads included.
  const unsigned char kBytes[] = {0x41, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC2, 0xDF,
                                  0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF, 0xC0};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kBytes - 1);
  for (int round = 0; round < 20000; ++round) {
    std::string text(1 + round % 9, '\0');
    for (char& byte : text) byte = static_cast<char>(kBytes[pick(random)]);
    ASSERT_EQ(OurPieces(text), IcuPieces(text));
    // And the names made of such bytes come back exactly.
    ASSERT_EQ(ToNativeName(FromNativeName(text)), text);
  }
}

}  // namespace
