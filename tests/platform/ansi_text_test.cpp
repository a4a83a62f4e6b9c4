#include "platform/text/ansi_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/text/code_page.h"
#include "platform/text/utf8.h"

namespace {

class AnsiTextTest : public ::testing::Test {
 protected:
  void TearDown() override { SetAnsiCodePage(1252); }

  static std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    ForEachWord(text, [&](std::string_view w) { words.emplace_back(w); });
    return words;
  }
};

using WordList = std::vector<std::string>;

TEST_F(AnsiTextTest, SingleByteConversionFollowsTheCodePage) {
  SetAnsiCodePage(1251);
  EXPECT_EQ(AnsiToWide("\xcf\xf0\xe8\xe2\xe5\xf2 abc"), u"Привет abc");
  // Undefined in 1251: the C1 control of the same value, as Windows does.
  EXPECT_EQ(AnsiToWide("\x98"), u"\u0098");
  EXPECT_EQ(AnsiToWide(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));

  SetAnsiCodePage(1252);
  EXPECT_EQ(AnsiToWide("\x80\x81\xe9"), u"\u20ac\u0081\u00e9");

  // ICU's IBM table moves 1A, 1C and 7F; the ASCII half must stay ASCII.
  SetAnsiCodePage(866);
  EXPECT_EQ(AnsiToWide("\x1a\x1c\x7f\x8f\xa0"), u"\u001a\u001c\u007f\u041f\u0430");

  // Bytes ICU has no mapping for at all still convert.
  SetAnsiCodePage(1253);
  EXPECT_EQ(AnsiToWide("\xd2\xc1"), u"\u00d2\u0391");
}

// A byte a code page leaves undefined is the character of its own value and
// no letter, also where a table gives it a private-use character.
TEST_F(AnsiTextTest, UndefinedBytesAreTheirOwnValue) {
  for (int codePage : {874, 866, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258}) {
    SetAnsiCodePage(codePage);
    for (int b = 0x80; b < 0x100; ++b) {
      const std::u16string wide = AnsiToWide(std::string(1, static_cast<char>(b)));
      ASSERT_EQ(wide.size(), 1u);
      EXPECT_FALSE(wide[0] >= 0xE000 && wide[0] <= 0xF8FF) << codePage << ", byte " << b;
    }
  }
  SetAnsiCodePage(874);
  EXPECT_EQ(AnsiToWide("\xdb\xff"), u"\u00db\u00ff");
  EXPECT_EQ(Words("a\xdb" "b"), (WordList{"a", "b"}));
}

TEST_F(AnsiTextTest, SingleByteWordsAreJudgedByteByByte) {
  SetAnsiCodePage(1251);
  EXPECT_EQ(Words("\xcc\xee\xeb\xee\xea\xee, tea2go!\x98x \xb9 5"),
            (WordList{"\xcc\xee\xeb\xee\xea\xee", "tea2go", "x", "5"}));
  SetAnsiCodePage(1253);  // 0xD2 is undefined there: never a letter
  EXPECT_EQ(Words("a\xd2\x62"), (WordList{"a", "b"}));
  SetAnsiCodePage(1252);  // the same bytes in Latin-1 are letters
  EXPECT_EQ(Words("\xcc\xee\xeb"), (WordList{"\xcc\xee\xeb"}));
  EXPECT_EQ(Words(std::string_view("ab\0cd", 5)), (WordList{"ab", "cd"}));
  EXPECT_TRUE(Words("").empty());
  EXPECT_TRUE(Words(" .,;\n").empty());
}

TEST_F(AnsiTextTest, Utf8ConversionReplacesIllFormedBytes) {
  SetAnsiCodePage(65001);
  EXPECT_EQ(AnsiToWide("\xd0\x9c\xd0\xbe\xd0\xbb\xd0\xbe\xd0\xba\xd0\xbe"), u"Молоко");
  EXPECT_EQ(AnsiToWide("\xf0\x9f\x98\x80"), u"\U0001F600");
  EXPECT_EQ(AnsiToWide("a\x80z"), u"a\ufffdz");
  EXPECT_EQ(AnsiToWide("\xed\xa0\x80"), u"\ufffd\ufffd\ufffd");  // encoded surrogate
  EXPECT_EQ(AnsiToWide("a\xe2\x82"), u"a\ufffd");  // a whole text cut short
  // Into reused storage, longer or shorter than the text, in either kind of
  // code page.
  std::u16string wide = u"leftover units";
  for (const char* bytes : {"\xd0\x9c\xd0\xbe", "a\x80z\xf0\x9f\x98\x80\xe2\x82", "", "much longer than before"}) {
    AnsiToWide(bytes, wide);
    EXPECT_EQ(wide, AnsiToWide(bytes)) << bytes;
  }
  SetAnsiCodePage(1251);
  AnsiToWide("\xcc\xee", wide);
  EXPECT_EQ(wide, u"Мо");
}

TEST_F(AnsiTextTest, PreviewDropsOnlyACutLastCharacter) {
  SetAnsiCodePage(65001);
  EXPECT_EQ(AnsiPrefixToWide("a\xe2\x82"), u"a");
  EXPECT_EQ(AnsiPrefixToWide("a\xe2"), u"a");
  EXPECT_EQ(AnsiPrefixToWide("a\xf0\x9f\x98"), u"a");
  EXPECT_EQ(AnsiPrefixToWide("a\xe2\x82\xac"), u"a\u20ac");
  // Ill-formed endings are not cut characters.
  EXPECT_EQ(AnsiPrefixToWide("a\x80"), u"a\ufffd");
  EXPECT_EQ(AnsiPrefixToWide("a\xff"), u"a\ufffd");
  EXPECT_EQ(AnsiPrefixToWide("a\xe2z"), u"a\ufffdz");
  // Single-byte pages have nothing to cut.
  SetAnsiCodePage(1251);
  EXPECT_EQ(AnsiPrefixToWide("a\xe2"), u"a\u0432");
}

TEST_F(AnsiTextTest, Utf8WordsAreWholeCharacters) {
  SetAnsiCodePage(65001);
  EXPECT_EQ(Words("\xd0\x9c\xd0\xbe\xd0\xbb\xd0\xbe\xd0\xba\xd0\xbe and tea."),
            (WordList{"\xd0\x9c\xd0\xbe\xd0\xbb\xd0\xbe\xd0\xba\xd0\xbe", "and", "tea"}));
  // Ill-formed bytes and non-letters (the dash U+2014) separate words.
  EXPECT_EQ(Words("ab\x80\xd0\xb4\xff" "cd\xe2\x80\x94" "ef"),
            (WordList{"ab", "\xd0\xb4", "cd", "ef"}));
  // A cut character at the end is not part of the word before it.
  EXPECT_EQ(Words("ab\xd0"), (WordList{"ab"}));
  // Combining marks stay inside their word.
  EXPECT_EQ(Words("e\xcc\x81t\xc3\xa9 x"), (WordList{"e\xcc\x81t\xc3\xa9", "x"}));
}

// The slow path of UTF-8, one character at a time: conversion by DecodeUtf8
// and words by Utf8WordStep.
std::u16string StepWide(std::string_view text, bool dropCutTail) {
  std::u16string wide;
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t c;
    const std::size_t length = DecodeUtf8(text, pos, &c);
    if (c == kIllFormed) {
      const auto lead = static_cast<unsigned char>(text[pos]);
      if (dropCutTail && pos + length == text.size() && lead >= 0xC2 && lead <= 0xF4) break;
      c = 0xFFFD;
    }
    AppendUtf16(wide, c);
    pos += length;
  }
  return wide;
}

WordList StepWords(std::string_view text) {
  WordList words(1);
  for (std::size_t pos = 0, step = 1; pos < text.size(); pos += step) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    bool wordChar = ansi_detail::IsWordChar(byte);
    step = byte < 0x80 ? 1 : ansi_detail::Utf8WordStep(text, pos, &wordChar);
    if (wordChar) words.back().append(text.substr(pos, step));
    else if (!words.back().empty()) words.emplace_back();
  }
  if (words.back().empty()) words.pop_back();
  return words;
}

TEST_F(AnsiTextTest, Utf8ShortcutsMatchCharacterSteps) {
  SetAnsiCodePage(65001);
  // Every two-byte character between letters; then random texts of bytes
  // mostly from the edges of the UTF-8 ranges, short (words) and long,
  // their ends cutting characters anywhere.
  std::vector<std::string> texts;
  for (char32_t c = 0x80; c < 0x800; ++c) {
    texts.emplace_back("a");
    AppendUtf8(texts.back(), c);
    texts.back() += "b";
  }
  const unsigned char pick[] = {0x00, 0x20, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                                0xC0, 0xC1, 0xC2, 0xCC, 0xD0, 0xD1, 0xDF, 0xE0, 0xE2, 0xED,
                                0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::string& text = texts.emplace_back();
    for (std::size_t i = random() % (round % 10 == 0 ? 300 : 70); i > 0; --i) {
      text += static_cast<char>(random() % 4 == 0 ? random() % 256 : pick[random() % sizeof pick]);
    }
  }
  for (const std::string& text : texts) {
    ASSERT_EQ(AnsiToWide(text), StepWide(text, false)) << ::testing::PrintToString(text);
    ASSERT_EQ(AnsiPrefixToWide(text), StepWide(text, true)) << ::testing::PrintToString(text);
    ASSERT_EQ(Words(text), StepWords(text)) << ::testing::PrintToString(text);
  }
}

TEST_F(AnsiTextTest, TablesFollowCodePageChanges) {
  SetAnsiCodePage(1251);
  EXPECT_EQ(AnsiToWide("\xc0"), u"А");
  SetAnsiCodePage(1252);
  EXPECT_EQ(AnsiToWide("\xc0"), u"À");
  SetAnsiCodePage(65001);
  EXPECT_EQ(AnsiToWide("\xc0"), u"\ufffd");
}

}  // namespace
