// Starting the editor for real: whether the program ran is reported, and a
// failure message names the program and the way to choose another.

#include "platform/os/editor.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "platform/os/env.h"
#include "platform/text/file_names.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test, or unsets it, and restores it.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class Editor : public ::testing::Test {
 protected:
  std::u16string Note() const { return FromNativeName((dir.path() / "a note.txt").string()); }
  // An executable script that records its working directory and argument.
  std::string Script() {
    const fs::path script = dir.path() / "editor.sh";
    std::ofstream(script) << "#!/bin/sh\n{ pwd; echo \"$1\"; } > '" << record().string()
                          << ".part' && mv '" << record().string() << ".part' '"
                          << record().string() << "'\n";
    fs::permissions(script, fs::perms::owner_all);
    return script.string();
  }
  fs::path record() const { return dir.path() / "record"; }

  TempDir dir;
};

TEST_F(Editor, ARunningEditorIsReportedAsStarted) {
  const ScopedVariable editor("SCRIBLET_EDITOR", Script().c_str());
  ASSERT_TRUE(Env::Default().StartEditor(Note(), dir.folder()));
  for (int i = 0; i < 500 && !fs::exists(record()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::ifstream in(record());
  std::string cwd, argument;
  std::getline(in, cwd);
  std::getline(in, argument);
  EXPECT_EQ(fs::path(cwd), dir.path());
  EXPECT_EQ(argument, (dir.path() / "a note.txt").string());
}

TEST_F(Editor, AProgramThatCannotRunIsReportedAsNotStarted) {
  const fs::path plain = dir.path() / "not-executable";
  std::ofstream(plain) << "#!/bin/sh\n";
  for (const std::string& program : {(dir.path() / "missing").string(), plain.string(),
                                    std::string("scriblet-no-such-editor")}) {
    const ScopedVariable editor("SCRIBLET_EDITOR", program.c_str());
    EXPECT_FALSE(Env::Default().StartEditor(Note(), dir.folder())) << program;
  }
  // The right program, but its working directory is gone.
  const ScopedVariable editor("SCRIBLET_EDITOR", Script().c_str());
  EXPECT_FALSE(Env::Default().StartEditor(Note(), dir.folder() + u"gone/"));
}

// The editor is named from where the program was started, not from the
// notes folder it is started in: neither a relative name nor a relative
// PATH entry reaches a program kept among the notes.
TEST_F(Editor, RelativeNamesAreFoundFromTheStartingDirectory) {
  fs::create_directory(dir.path() / "notes");
  fs::copy_file(Script(), dir.path() / "notes" / "xdg-open");
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  bool relativeStarted, notesProgramStarted;
  {
    const ScopedVariable editor("SCRIBLET_EDITOR", "./editor.sh");
    relativeStarted = Env::Default().StartEditor(Note(), dir.folder() + u"notes/");
  }
  {
    const ScopedVariable editor("SCRIBLET_EDITOR", nullptr);
    const ScopedVariable path("PATH", ".");
    notesProgramStarted = Env::Default().StartEditor(Note(), dir.folder() + u"notes/");
  }
  fs::current_path(before);
  EXPECT_TRUE(relativeStarted);
  EXPECT_FALSE(notesProgramStarted);
}

TEST_F(Editor, WithoutAChoiceItIsXdgOpenFromThePath) {
  const ScopedVariable editor("SCRIBLET_EDITOR", "");
  const ScopedVariable path("PATH", dir.path().c_str());
  EXPECT_EQ(EditorProgram(), "xdg-open");
  EXPECT_FALSE(Env::Default().StartEditor(Note(), dir.folder()));

  // An xdg-open of its own on the PATH is the one started.
  fs::rename(Script(), dir.path() / "xdg-open");
  EXPECT_TRUE(Env::Default().StartEditor(Note(), dir.folder()));
}

TEST_F(Editor, TheMessageNamesTheProgramTheNoteAndHowToChooseAnother) {
  {
    const ScopedVariable editor("SCRIBLET_EDITOR", nullptr);
    EXPECT_EQ(EditorNotStartedMessage(u"/home/me/Notes/a.txt"),
              u"Не удалось запустить редактор «xdg-open».\n"
              u"Заметка: /home/me/Notes/a.txt\n"
              u"Установите xdg-open (пакет xdg-utils) или укажите редактор в переменной "
              u"окружения SCRIBLET_EDITOR: имя программы или полный путь, например "
              u"SCRIBLET_EDITOR=gedit.");
  }
  const ScopedVariable editor("SCRIBLET_EDITOR", "/opt/ed\xff");
  const std::u16string text = EditorNotStartedMessage(u"a.txt");
  EXPECT_EQ(text.rfind(u"Не удалось запустить редактор «/opt/ed" + FromNativeName("\xff") + u"».\n",
                       0),
            0u);
  EXPECT_NE(text.find(u"Укажите в переменной окружения SCRIBLET_EDITOR программу"),
            std::u16string::npos);
}

}  // namespace
