#include "app/scriblet_app.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Records which mode the application object chose.
class RecordingModes : public ScribletModes {
 public:
  std::string called;
  std::u16string folder;
  int NewNote(const std::u16string& f) override { return Record("new", f); }
  int Search(const std::u16string& f) override { return Record("search", f); }
  int Instructions() override { return Record("instructions", u""); }
  int Help() override { return Record("help", u""); }
  int Version() override { return Record("version", u""); }

 private:
  int Record(const char* mode, const std::u16string& f) {
    called = mode;
    folder = f;
    return 7;
  }
};

struct Outcome {
  std::string mode;
  std::u16string folder;
  int exitCode;
};

Outcome RunWith(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "/usr/bin/scriblet");
  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  RecordingModes modes;
  CScribletApp app(&modes);
  const int code = app.Run(static_cast<int>(arguments.size()), argv.data());
  return {modes.called, modes.folder, code};
}

TEST(ScribletApp, DispatchesEachCommandLineToOneMode) {
  ::setenv("LC_ALL", "C", 1);
  const struct {
    std::vector<std::string> arguments;
    std::string mode;
    std::u16string folder;
  } cases[] = {
      {{"/n", "/tmp/t/a/b/c"}, "new", u"/tmp/t/a/b/c"},
      {{"/N", "/tmp/t"}, "new", u"/tmp/t"},
      {{"/s", "/tmp/t/"}, "search", u"/tmp/t/"},
      {{"/S", "/tmp/t", "ignored"}, "search", u"/tmp/t"},
      {{}, "instructions", u""},
      {{"/n"}, "instructions", u""},
      {{"/S"}, "instructions", u""},
      {{"/x", "/tmp/t"}, "instructions", u""},
      {{"/n\t/tmp/t"}, "instructions", u""},
      {{"/tmp/t"}, "instructions", u""},
      {{"--help"}, "help", u""},
      {{"-h", "/tmp/t"}, "help", u""},
      {{"--HELP"}, "help", u""},
      {{"--version"}, "version", u""},
      {{"--help=x"}, "instructions", u""},
      {{"/n", "--help"}, "new", u"--help"},
  };
  for (const auto& c : cases) {
    const Outcome run = RunWith(c.arguments);
    EXPECT_EQ(run.mode, c.mode) << "arguments: " << c.arguments.size();
    EXPECT_EQ(run.folder, c.folder);
    EXPECT_EQ(run.exitCode, 7) << "the mode's result is the exit code";
  }
}

TEST(ScribletApp, ApplicationNameIsTheExecutablesNameWithoutExtension) {
  RecordingModes modes;
  CScribletApp app(&modes);
  char name[] = "/opt/tools/Scriblet.bin";
  char* argv[] = {name, nullptr};
  app.Run(1, argv);
  EXPECT_EQ(app.m_pszAppName, u"Scriblet");
}

}  // namespace
