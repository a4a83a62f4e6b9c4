#include "platform/text/file_names.h"

#include <gtest/gtest.h>

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

TEST(FileNames, StrayHighSurrogateBecomesReplacementCharacter) {
  EXPECT_EQ(ToNativeName(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b");
}

}  // namespace
