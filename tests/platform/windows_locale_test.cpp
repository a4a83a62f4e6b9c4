// The locale step on Windows, run under a Russian user locale (Wine takes
// it from LC_ALL=ru_RU.UTF-8).

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

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

}  // namespace
