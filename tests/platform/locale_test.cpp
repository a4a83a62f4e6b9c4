#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include "platform/text/code_page.h"
#include "platform/text/locale_setup.h"
#include "platform/text/lower_case.h"

namespace {

// Each test states the locale variables it runs under.
class LocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG", "LC_TIME", "SCRIBLET_CODEPAGE"}) {
      ::unsetenv(name);
    }
  }
  void TearDown() override {
    SetUp();
    std::setlocale(LC_ALL, "C");
    SetUserLowerCase(false);
    SetAnsiCodePage(1252);
  }
};

TEST_F(LocaleTest, RussianUserLocaleLowersCyrillic) {
  ::setenv("LANG", "ru_RU.UTF-8", 1);
  const LocaleSetup setup = SetUpLocale();
  ASSERT_TRUE(setup.userLowerCase)
      << "needs the ru_RU.UTF-8 locale: localedef -i ru_RU -f UTF-8 ru_RU.UTF-8";
  EXPECT_EQ(setup.language, "Russian");
  EXPECT_EQ(setup.country, "Russia");
  EXPECT_EQ(setup.codePage, 65001);

  std::u16string text = u"ПРИВЕТ Мир ABC Ёж ΣΑΣ 𐐀";
  LowerCaseInPlace(text);
  EXPECT_EQ(text, u"привет мир abc ёж σασ 𐐨");
}

TEST_F(LocaleTest, VariablesAreReadInTheirOrder) {
  ::setenv("LANG", "C", 1);
  ::setenv("LC_CTYPE", "ru_RU.UTF-8", 1);
  EXPECT_TRUE(SetUpLocale().userLowerCase);
  ::setenv("LC_ALL", "POSIX", 1);
  EXPECT_FALSE(SetUpLocale().userLowerCase);
}

// Lower-casing depends on the character locale alone: a date format named
// in LC_TIME that the system lacks must not cost the user's letters.
TEST_F(LocaleTest, AMissingLocaleOfAnotherCategoryLeavesTheUserLocale) {
  ::setenv("LANG", "ru_RU.UTF-8", 1);
  ::setenv("LC_TIME", "xx_YY.UTF-8", 1);
  const LocaleSetup setup = SetUpLocale();
  EXPECT_TRUE(setup.userLowerCase);
  EXPECT_EQ(setup.codePage, 65001);
  std::u16string text = u"ПРИВЕТ";
  LowerCaseInPlace(text);
  EXPECT_EQ(text, u"привет");
}

TEST_F(LocaleTest, FailedStepLeavesCModeLoweringOnlyLatinCapitals) {
  for (const char* locale : {"C", "POSIX", "C.UTF-8", "xx_YY.UTF-8", ""}) {
    ::setenv("LC_ALL", locale, 1);
    const LocaleSetup setup = SetUpLocale();
    EXPECT_FALSE(setup.userLowerCase) << locale;
    EXPECT_TRUE(setup.language.empty());
    std::u16string text = u"ABC xyz ПРИВЕТ Ä";
    LowerCaseInPlace(text);
    EXPECT_EQ(text, u"abc xyz ПРИВЕТ Ä") << locale;
  }
}

TEST_F(LocaleTest, CodePageComesFromTheSettingThenTheCharset) {
  ::setenv("LC_ALL", "xx_YY.CP1251", 1);  // missing locale: its charset still counts
  EXPECT_EQ(SetUpLocale().codePage, 1251);
  ::setenv("LC_ALL", "C", 1);
  EXPECT_EQ(SetUpLocale().codePage, 1252);
  ::setenv("SCRIBLET_CODEPAGE", "866", 1);
  EXPECT_EQ(SetUpLocale().codePage, 866);
  EXPECT_EQ(AnsiCodePage(), 866);
  ::setenv("SCRIBLET_CODEPAGE", "koi8-r", 1);  // unsupported: the locale decides
  EXPECT_EQ(SetUpLocale().codePage, 1252);
}

TEST(CodePage, ParsesNumbersAndCharsetNames) {
  EXPECT_EQ(ParseCodePage("1251"), 1251);
  EXPECT_EQ(ParseCodePage("UTF-8"), 65001);
  EXPECT_EQ(ParseCodePage("utf8"), 65001);
  EXPECT_EQ(ParseCodePage("65001"), 65001);
  EXPECT_EQ(ParseCodePage("CP1251"), 1251);
  EXPECT_EQ(ParseCodePage("windows-1250"), 1250);
  EXPECT_EQ(ParseCodePage("IBM866"), 866);
  EXPECT_EQ(ParseCodePage("874"), 874);
  EXPECT_EQ(ParseCodePage("1259"), std::nullopt);
  EXPECT_EQ(ParseCodePage("ISO-8859-5"), std::nullopt);
  EXPECT_EQ(ParseCodePage("ANSI_X3.4-1968"), std::nullopt);
  EXPECT_EQ(ParseCodePage(""), std::nullopt);
  EXPECT_EQ(ParseCodePage("99999999999"), std::nullopt);
}

// Charset names are ASCII: a Turkish locale, whose lower case of 'I' is not
// 'i', must read them as any other.
TEST(CodePage, NamesReadAlikeUnderATurkishLocale) {
  if (std::setlocale(LC_ALL, "tr_TR.UTF-8") == nullptr) GTEST_SKIP() << "no tr_TR.UTF-8 locale";
  const auto ibm = ParseCodePage("IBM866");
  const auto windows = ParseCodePage("WINDOWS-1254");
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(ibm, 866);
  EXPECT_EQ(windows, 1254);
}

}  // namespace
