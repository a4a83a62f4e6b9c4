// The locale step on Windows, run under a Russian user locale (Wine takes
// it from LC_ALL=ru_RU.UTF-8).

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/os/windows_api.h"
#include "platform/text/ansi_text.h"
#include "platform/text/code_page.h"
#include "platform/text/locale_setup.h"
#include "platform/text/lower_case.h"

namespace {

class WindowsLocaleTest : public ::testing::Test {
 protected:
  void TearDown() override {
    _putenv("SCRIBLET_CODEPAGE=");
    std::setlocale(LC_ALL, "C");
    SetUserLowerCase(false);
    SetAnsiCodePage(1252);
  }
};

TEST_F(WindowsLocaleTest, RussianUserLocaleGivesItsCodePageAndLowersCyrillic) {
  const LocaleSetup setup = SetUpLocale();
  ASSERT_TRUE(setup.userLowerCase);
  EXPECT_EQ(setup.language, "Russian");
  EXPECT_EQ(setup.country, "Russia");
  EXPECT_EQ(setup.codePage, 1251);
  EXPECT_EQ(AnsiCodePage(), 1251);

  std::u16string text = u"ПРИВЕТ Мир ABC Ёж ΣΑΣ";
  LowerCaseInPlace(text);
  EXPECT_EQ(text, u"привет мир abc ёж σασ");
}

TEST_F(WindowsLocaleTest, TheSettingChoosesTheCodePageUnlessItIsUnsupported) {
  _putenv("SCRIBLET_CODEPAGE=65001");
  EXPECT_EQ(SetUpLocale().codePage, 65001);
  _putenv("SCRIBLET_CODEPAGE=cp866");
  EXPECT_EQ(SetUpLocale().codePage, 866);
  _putenv("SCRIBLET_CODEPAGE=932");
  EXPECT_EQ(SetUpLocale().codePage, 1251);
}

TEST_F(WindowsLocaleTest, CModeLowersOnlyLatinCapitals) {
  SetUserLowerCase(false);
  std::u16string text = u"ABC xyz ПРИВЕТ Ä";
  LowerCaseInPlace(text);
  EXPECT_EQ(text, u"abc xyz ПРИВЕТ Ä");
}

// A Japanese, Chinese or Korean user locale hands its double-byte code page
// on as the notes' code page (Wine takes ja_JP.UTF-8 for 932); a note's
// preview must then read as Windows reads it, not byte by byte.
TEST_F(WindowsLocaleTest, DoubleByteUserCodePagesConvertAsWindowsDoes) {
  const LocaleSetup setup = SetUpLocale();
  if (setup.language == "Japanese") {
    EXPECT_EQ(setup.codePage, 932);
  }
  for (const auto& [codePage, bytes] : {std::pair{932, "\x93\xfa\x96\x7b \x83\x81\x83\x82"},
                                        std::pair{936, "\xc4\xe3\xba\xc3"},
                                        std::pair{949, "\xc7\xd1\xb1\xb9"}}) {
    const std::string text(bytes);
    wchar_t expected[16];
    const int length = MultiByteToWideChar(static_cast<UINT>(codePage), 0, text.data(),
                                           static_cast<int>(text.size()), expected, 16);
    ASSERT_GT(length, 0) << codePage;
    SetAnsiCodePage(codePage);
    EXPECT_EQ(AnsiToWide(text), std::u16string(reinterpret_cast<const char16_t*>(expected),
                                               static_cast<std::size_t>(length)))
        << codePage;
  }
}

}  // namespace
