#include "app/command_line.h"

#include <gtest/gtest.h>

#include "platform/text/lower_case.h"

namespace {

struct Case {
  std::vector<std::u16string> arguments;
  std::u16string mode;    // after lower-casing
  std::u16string folder;
};

// The command-line rules as a table: arguments as the shell hands them over,
// and the mode token and folder text the program takes from them.
const Case kCases[] = {
    {{}, u"", u""},
    {{u"   "}, u"", u""},
    {{u"/n", u"/tmp/Notes"}, u"/n", u"/tmp/Notes"},
    {{u"/N", u"/tmp/Notes"}, u"/n", u"/tmp/Notes"},
    {{u"/s", u"/tmp/Notes/"}, u"/s", u"/tmp/Notes/"},
    {{u"/s   /tmp/Notes more words"}, u"/s", u"/tmp/Notes"},
    {{u"/s", u"", u"", u"/tmp/Notes", u"more", u"words"}, u"/s", u"/tmp/Notes"},
    {{u"/n"}, u"/n", u""},
    {{u"/S"}, u"/s", u""},
    {{u"/tmp/Notes"}, u"/tmp/notes", u""},
    {{u"/x", u"/tmp/Notes"}, u"/x", u"/tmp/Notes"},
    {{u"/n\t/tmp/Notes"}, u"/n\t/tmp/notes", u""},
    {{u"/n", u"/tmp/My Notes"}, u"/n", u"/tmp/My"},
    {{u"/n", u"\"/tmp/Notes\""}, u"/n", u"\"/tmp/Notes\""},
    {{u"/n", u"\"/tmp/My Notes\""}, u"/n", u"\"/tmp/My"},
    {{u"\t /n", u"/tmp/a\t"}, u"/n", u"/tmp/a"},
    {{u"/n", u"/tmp/a\u00A0"}, u"/n", u"/tmp/a"},
    {{u"\u3000/n", u"/tmp/a"}, u"/n", u"/tmp/a"},
};

TEST(CommandLine, TableOfExamples) {
  SetUserLowerCase(false);
  for (const Case& c : kCases) {
    CommandLine line = ParseCommandLine(ArgumentText(c.arguments));
    LowerCaseInPlace(line.mode);
    EXPECT_EQ(line.mode, c.mode) << "mode of case with folder " << c.folder.size();
    EXPECT_EQ(line.folder, c.folder);
  }
}

TEST(CommandLine, ArgumentTextJoinsBySingleSpacesAndTrims) {
  EXPECT_EQ(ArgumentText({u"/s", u"a", u"b"}), u"/s a b");
  EXPECT_EQ(ArgumentText({u"  /s\t", u"a  "}), u"/s\t a");
  EXPECT_EQ(ArgumentText({u"\u2003x\u2003"}), u"x");
}

}  // namespace
