// Runs the built program as a user would, with a stand-in editor that
// records how it was started.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <QLibraryInfo>

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
    editorVariable = editor.string();
    fs::create_directory(work());
  }

  void TearDown() override { std::ofstream(release()) << ""; }

  fs::path record() const { return dir.path() / "editor.record"; }
  fs::path release() const { return dir.path() / "editor.release"; }
  fs::path work() const { return dir.path() / "work"; }

  // Runs scriblet with the arguments in work(), without a display unless
  // platform names a Qt platform. Its standard output goes to Stdout(), or
  // to stdoutPath when one is given.
  int Run(const std::vector<std::string>& arguments, const char* platform = nullptr,
          const std::string& stdoutPath = {}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(work().c_str()) != 0) ::_exit(120);
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::unsetenv("WAYLAND_SOCKET");
      ::unsetenv("QT_QPA_PLATFORM");
      ::unsetenv("XDG_SESSION_TYPE");
      if (platform != nullptr) ::setenv("QT_QPA_PLATFORM", platform, 1);
      if (!display.empty()) ::setenv("DISPLAY", display.c_str(), 1);
      if (!wayland.empty()) ::setenv("WAYLAND_DISPLAY", wayland.c_str(), 1);
      if (!editorVariable.empty()) {
        ::setenv("SCRIBLET_EDITOR", editorVariable.c_str(), 1);
      } else {
        ::unsetenv("SCRIBLET_EDITOR");
      }
      if (!path.empty()) ::setenv("PATH", path.c_str(), 1);
      const std::string err = (dir.path() / "stderr").string();
      const std::string out = stdoutPath.empty() ? (dir.path() / "stdout").string() : stdoutPath;
      if (!std::freopen(err.c_str(), "w", stderr)) ::_exit(121);
      if (!std::freopen(out.c_str(), "w", stdout)) ::_exit(121);
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

  std::string Stdout() const { return ReadFile(dir.path() / "stdout"); }
  std::string Stderr() const { return ReadFile(dir.path() / "stderr"); }

  TempDir dir;
  fs::path editor;
  std::string editorVariable;  // SCRIBLET_EDITOR; unset when empty
  std::string path;            // PATH when not empty
  std::string display;         // DISPLAY when not empty
  std::string wayland;         // WAYLAND_DISPLAY when not empty
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

// What the instructions window shows, with a terminal's line ends.
const std::string kHelpOnTerminal =
    "Что и это и зачем.\n"
    "Это маленькая программка для упорядочивания мелких «временных» заметок (как показала "
    "практика, часто эти мелкие заметки собираются в не мелкие каталоги).\n";

TEST_F(ScribletCli, HelpWithoutADisplayPrintsTheInstructions) {
  for (const char* option : {"--help", "-h", "--HELP"}) {
    EXPECT_EQ(Run({option}), 0) << option << Stderr();
    const std::string out = Stdout();
    EXPECT_EQ(out.rfind(kHelpOnTerminal, 0), 0u) << out;
    EXPECT_EQ(out.find('\r'), std::string::npos);
    EXPECT_NE(out.find("Scriblet /s путь к папке с заметками"), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 12);
    EXPECT_EQ(Stderr(), "");
  }
}

// A display left over from a session that is gone (X, Wayland or both, or
// X named only as Qt's platform): Qt would end the process on it, so every
// mode must behave as without a display.
TEST_F(ScribletCli, DisplaysThatCannotBeReachedCountAsNone) {
  // A server may listen on its abstract socket alone: its lock file tells.
  int number = 4200;
  while (fs::exists(fs::path("/tmp/.X11-unix/X").concat(std::to_string(number))) ||
         fs::exists(fs::path("/tmp/.X").concat(std::to_string(number)).concat("-lock"))) {
    ++number;
  }
  // Built by append: GCC 12 at -O3 warns wrongly (-Wrestrict) about
  // "literal" + std::to_string(...).
  const std::string goneX = std::string(":").append(std::to_string(number));
  const std::string goneWayland = (dir.path() / "wayland-gone").string();
  const fs::path notes = dir.path() / "notes";
  fs::create_directory(notes);
  std::ofstream(notes / "a.txt") << "words";
  const struct {
    std::string display, wayland;
    const char* platform;
  } cases[] = {{goneX, "", nullptr}, {"", goneWayland, nullptr}, {goneX, goneWayland, "wayland;xcb"},
               {"", "", "xcb"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.display + " " + c.wayland + " " + (c.platform != nullptr ? c.platform : ""));
    display = c.display;
    wayland = c.wayland;
    editorVariable = editor.string();
    EXPECT_EQ(Run({"--help"}, c.platform), 0) << Stderr();
    EXPECT_EQ(Stdout().rfind(kHelpOnTerminal, 0), 0u) << Stdout();

    fs::remove(notes / "notes.ndx");
    EXPECT_EQ(Run({"/s", notes.string()}, c.platform), 1);
    EXPECT_NE(Stderr().find("no display"), std::string::npos) << Stderr();
    EXPECT_TRUE(fs::exists(notes / "notes.ndx"));

    editorVariable = (dir.path() / "no-such-editor").string();
    const fs::path made = dir.path() / "made";
    fs::remove_all(made);
    EXPECT_EQ(Run({"/n", made.string()}, c.platform), 1);
    EXPECT_NE(Stderr().find("no-such-editor"), std::string::npos) << Stderr();
    EXPECT_EQ(std::distance(fs::directory_iterator(made), fs::directory_iterator()), 1);
  }
}

// A Wayland session without X (no XWayland) on a system that lacks Qt's
// Wayland platform: the compositor answers, but Qt can only try X and ends
// the process. The socket below stands in for a live compositor.
TEST_F(ScribletCli, WaylandWithoutQtsWaylandPlatformCountsAsNoDisplay) {
  const fs::path platforms =
      QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platforms";
  for (const auto& plugin : fs::directory_iterator(platforms)) {
    if (plugin.path().filename().string().starts_with("libqwayland")) {
      GTEST_SKIP() << "Qt's Wayland platform is installed here";
    }
  }
  const fs::path socketPath = dir.path() / "wayland-live";
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.string().size(), sizeof address.sun_path);
  socketPath.string().copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 8), 0);
  wayland = socketPath.string();
  const fs::path notes = dir.path() / "notes";
  fs::create_directory(notes);
  std::ofstream(notes / "a.txt") << "words";

  EXPECT_EQ(Run({"/s", notes.string()}), 1);
  EXPECT_NE(Stderr().find("no display"), std::string::npos) << Stderr();
  EXPECT_EQ(Run({}), 1) << Stderr();
  EXPECT_EQ(Run({"--help"}), 0) << Stderr();
  EXPECT_EQ(Stdout().rfind(kHelpOnTerminal, 0), 0u) << Stdout();
  ::close(listener);
}

TEST_F(ScribletCli, VersionPrintsNameAndVersionWithOrWithoutADisplay) {
  for (const char* platform : {static_cast<const char*>(nullptr), "offscreen"}) {
    EXPECT_EQ(Run({"--version"}, platform), 0) << Stderr();
    EXPECT_EQ(Stdout(), "scriblet " SCRIBLET_VERSION "\n");
  }
}

TEST_F(ScribletCli, OutputThatCannotBeWrittenIsAFailure) {
  EXPECT_EQ(Run({"--version"}, nullptr, "/dev/full"), 1);
  EXPECT_NE(Stderr().find("standard output"), std::string::npos) << Stderr();
}

TEST_F(ScribletCli, EditorThatCannotBeStartedIsNamedAndTheNoteKept) {
  const fs::path folder = dir.path() / "notes";
  const struct {
    std::string variable, path, program, advice;
  } cases[] = {
      {(dir.path() / "no-such-editor").string(), "", (dir.path() / "no-such-editor").string(),
       "SCRIBLET_EDITOR"},
      {"", (dir.path() / "empty-bin").string(), "xdg-open", "xdg-utils"},
  };
  for (const auto& c : cases) {
    editorVariable = c.variable;
    path = c.path;
    EXPECT_EQ(Run({"/n", folder.string()}), 1);
    const std::string err = Stderr();
    EXPECT_NE(err.find("«" + c.program + "»"), std::string::npos) << err;
    EXPECT_NE(err.find(c.advice), std::string::npos) << err;
    EXPECT_NE(err.find("SCRIBLET_EDITOR"), std::string::npos) << err;
    std::vector<fs::path> notes(fs::directory_iterator(folder), {});
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(err.find(notes[0].string()), std::string::npos) << err;
    fs::remove(notes[0]);
  }
}

}  // namespace
