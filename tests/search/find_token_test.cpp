#include "search/find_token.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// Against the standard search, over texts of every length up to a few
// blocks of sixteen, from every place, with tokens cut from the text (so
// they are found, often more than once) and tokens of a near miss: the
// first unit there, a later one not, and at the text's very end.
TEST(FindTokenTest, FindsWhatTheStandardSearchFinds) {
  std::mt19937 random(7);
  // A small alphabet, so first units repeat and most blocks hold some.
  const std::u16string alphabet = u"ab:\u043a\uffff";
  for (std::size_t length = 0; length <= 50; ++length) {
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    const std::u16string_view view(text);
    std::vector<std::u16string> tokens{u"a", u"\u043a", u"zz", u"ab:", std::u16string(60, u'a')};
    for (int i = 0; i < 6 && length > 0; ++i) {
      const std::size_t at = random() % length;
      tokens.push_back(text.substr(at, 1 + random() % 5));
      std::u16string missed = tokens.back();
      missed.back() = u'z';
      tokens.push_back(missed);
    }
    for (const std::u16string& token : tokens) {
      for (std::size_t from = 0; from <= length + 1; ++from) {
        ASSERT_EQ(FindToken(view, token, from), view.find(token, from))
            << length << ' ' << from << ' ' << token.size();
      }
    }
  }
}

TEST(FindTokenTest, AnEmptyTokenIsWhereTheStandardSearchPutsIt) {
  const std::u16string_view text(u"abc");
  for (std::size_t from = 0; from <= 5; ++from) EXPECT_EQ(FindToken(text, u"", from), text.find(u"", from));
}

}  // namespace
