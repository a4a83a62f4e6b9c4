// Runs the built program as a user would, with a stand-in editor that
// records how it was started.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WaitFor(const fs::path& path) {
  for (int i = 0; i < 1000 && !fs::exists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return fs::exists(path);
}

class ScribletCli : public ::testing::Test {
 protected:
  void SetUp() override {
    editor = dir.path() / "editor.sh";
    // Records its working directory and arguments, then stays alive until
    // the test releases it, so a program that waited would never return.
    std::ofstream(editor) << "#!/bin/sh\nexec </dev/null >/dev/null 2>&1\n"
                          << "{ pwd; printf '%s\\n' \"$#\" \"$@\"; } > '" << record().string()
                          << ".part' && mv '" << record().string() << ".part' '"
                          << record().string() << "'\n"
                          << "i=0; while [ ! -e '" << release().string()
                          << "' ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done\n";
    fs::permissions(editor, fs::perms::owner_all);
    fs::create_directory(work());
  }

  void TearDown() override { std::ofstream(release()) << ""; }

  fs::path record() const { return dir.path() / "editor.record"; }
  fs::path release() const { return dir.path() / "editor.release"; }
  fs::path work() const { return dir.path() / "work"; }

  // Runs scriblet with the arguments in work(), without a display.
  int Run(const std::vector<std::string>& arguments) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(work().c_str()) != 0) ::_exit(120);
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::unsetenv("QT_QPA_PLATFORM");
      ::setenv("SCRIBLET_EDITOR", editor.c_str(), 1);
      const std::string err = (dir.path() / "stderr").string();
      if (!std::freopen(err.c_str(), "w", stderr)) ::_exit(121);
      std::vector<char*> argv{const_cast<char*>(SCRIBLET_BINARY)};
      for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(SCRIBLET_BINARY, argv.data());
      ::_exit(122);
    }
    // A program that waited for the editor would be held for 30 s: give up
    // on it well before.
    int status = 0;
    for (int i = 0; i < 500; ++i) {
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    ADD_FAILURE() << "scriblet did not return within 5 s";
    return -1;
  }

  std::string Stderr() const { return ReadFile(dir.path() / "stderr"); }

  TempDir dir;
  fs::path editor;
};

TEST_F(ScribletCli, NewNoteCreatesLevelsAndStartsTheEditorWithoutWaiting) {
  for (const char* mode : {"/n", "/N"}) {
    const fs::path folder = dir.path() / (mode + 1) / "a/b/c";
    ASSERT_EQ(Run({mode, folder.string()}), 0) << Stderr();
    // The editor is still held open here: the program returned without it.
    ASSERT_TRUE(WaitFor(record()));
    EXPECT_FALSE(fs::exists(release()));

    std::vector<fs::path> notes(fs::directory_iterator(folder), {});
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].filename().string().size(), 28u);
    EXPECT_EQ(fs::file_size(notes[0]), 0u);
    EXPECT_EQ(ReadFile(record()), folder.string() + "\n1\n" + notes[0].string() + "\n");

    fs::remove(record());
  }
}

TEST_F(ScribletCli, ARelativeFolderWithUpLevelsOpensExactlyTheNoteMade) {
  ASSERT_EQ(Run({"/n", "../up/../notes/a"}), 0) << Stderr();
  ASSERT_TRUE(WaitFor(record()));
  std::vector<fs::path> notes(fs::directory_iterator(dir.path() / "notes/a"), {});
  ASSERT_EQ(notes.size(), 1u);

  // What the editor was given, seen from where it was started.
  std::istringstream lines(ReadFile(record()));
  std::string pwd, count, argument;
  std::getline(lines, pwd);
  std::getline(lines, count);
  std::getline(lines, argument);
  EXPECT_TRUE(fs::equivalent(pwd, dir.path() / "notes/a"));
  EXPECT_EQ(count, "1");
  EXPECT_TRUE(argument.starts_with('/')) << argument;
  EXPECT_TRUE(fs::exists(fs::path(pwd) / argument)) << argument;
  EXPECT_TRUE(fs::equivalent(fs::path(pwd) / argument, notes[0]));
}

TEST_F(ScribletCli, CommandLinesWithoutAUsableModeCreateAndStartNothing) {
  const std::string folder = (dir.path() / "notes").string();
  const std::vector<std::vector<std::string>> lines = {
      {}, {"/n"}, {"/S"}, {"/x", folder}, {"/n\t" + folder}};
  for (const auto& line : lines) {
    Run(line);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(fs::is_empty(work()));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(fs::exists(record()));
}

TEST_F(ScribletCli, NoteThatCannotBeCreatedIsReportedOnStandardErrorWithoutADisplay) {
  const fs::path file = dir.path() / "plain-file";
  std::ofstream(file) << "x";
  EXPECT_NE(Run({"/n", file.string()}), 0);
  const std::string err = Stderr();
  EXPECT_NE(err.find("Ошибка создания файла " + file.string() + "/note-"), std::string::npos)
      << err;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(fs::exists(record()));
}

}  // namespace
