// Refreshes in a process that can start no thread (as under a user's or a
// container's thread limit) give the same folder, file and window as the
// same refreshes with threads.

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "index/refresh.h"
#include "index/refresh_progress.h"
#include "platform/text/code_page.h"
#include "platform/text/lower_case.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kWritten = 1704447000;  // the test clock's now
constexpr std::int64_t kOld = kWritten - kEmptyNoteMinAge - 1;

// Notes from this many on are checked in two halves, and their words take
// several pieces of the loaded file.
constexpr int kManyNotes = 1100;

// Makes clone and clone3 fail with EAGAIN in this process from now on, as a
// thread limit does. False when that cannot be done here. Calls of another
// architecture's numbering (which this process never makes) are let be.
bool RefuseThreads() {
#if defined(__x86_64__)
  constexpr std::uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
  constexpr std::uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
  constexpr std::uint32_t kArch = 0;  // not known here: no filter
#endif
  if (kArch == 0) return false;
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone, 2, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone3, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN),
  };
  sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Whether a process may refuse itself threads here: a sandbox may forbid
// the filter, and another architecture has none above.
bool CanRefuseThreads() {
  const pid_t child = fork();
  if (child == 0) _exit(RefuseThreads() ? 0 : 1);
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// What a refresh left: the file, the folder and what the window was shown.
struct Outcome {
  std::string index;               // notes.ndx's bytes
  std::vector<std::string> files;  // every file in the folder, sorted
  int shown = 0;
  std::vector<std::pair<std::u16string, std::vector<std::u16string>>> order;
  bool operator==(const Outcome&) const = default;
};

// What is done to the folder and the env before a refresh.
using Step = std::function<void(const fs::path& folder, TestEnv& env)>;

void WriteNote(const fs::path& folder, const std::string& name, const std::string& text,
               std::int64_t mtime = kWritten) {
  std::ofstream(folder / name, std::ios::binary | std::ios::trunc) << text;
  fs::last_write_time(folder / name, std::chrono::file_clock::from_sys(
                                         std::chrono::sys_seconds(std::chrono::seconds(mtime))));
}

// Each step, then a refresh of dir; what each refresh left.
std::vector<Outcome> RunSteps(const TempDir& dir, const std::vector<Step>& steps) {
  TestEnv env;
  std::vector<Outcome> outcomes;
  for (const Step& step : steps) {
    step(dir.path(), env);
    RecordingWindow window;
    Refresh(env, dir.folder(), window);
    Outcome outcome;
    std::ifstream in(dir.path() / "notes.ndx", std::ios::binary);
    outcome.index.assign(std::istreambuf_iterator<char>(in), {});
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      outcome.files.push_back(entry.path().filename().string());
    }
    std::sort(outcome.files.begin(), outcome.files.end());
    outcome.shown = window.shown;
    outcome.order = std::move(window.order);
    outcomes.push_back(std::move(outcome));
  }
  return outcomes;
}

// In a child process: refuses threads, runs the steps on dir and exits 0
// when each outcome is the expected one; else says on standard error what
// went wrong and exits otherwise. The exit skips the leak check, which
// would need a thread.
[[noreturn]] void RunWithoutThreads(const TempDir& dir, const std::vector<Step>& steps,
                                    const std::vector<Outcome>& expected) {
  if (!RefuseThreads()) {
    std::fputs("threads could not be refused\n", stderr);
    _exit(2);
  }
  try {
    std::thread([] {}).join();
    std::fputs("a thread started all the same\n", stderr);
    _exit(2);
  } catch (const std::system_error&) {
  }
  try {
    const std::vector<Outcome> outcomes = RunSteps(dir, steps);
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
      const Outcome& got = outcomes[i];
      const Outcome& want = expected[i];
      if (got == want) continue;
      std::fprintf(stderr, "refresh %zu differs:%s%s%s%s\n", i, got.index != want.index ? " notes.ndx" : "",
                   got.files != want.files ? " files" : "", got.shown != want.shown ? " shown" : "",
                   got.order != want.order ? " window" : "");
      _exit(1);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "refresh failed: %s\n", e.what());
    _exit(3);
  }
  _exit(0);
}

class RefreshWithoutThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CanRefuseThreads()) GTEST_SKIP() << "this system does not let a process refuse itself threads";
    SetAnsiCodePage(65001);
    SetUserLowerCase(true);
  }

  // Runs steps with threads, then in a child without any; the outcomes with
  // threads, for the test to check that the steps did what they meant to.
  std::vector<Outcome> ExpectAlikeWithoutThreads(const std::vector<Step>& steps) {
    TempDir threaded;
    TempDir unthreaded;
    std::vector<Outcome> expected = RunSteps(threaded, steps);
    EXPECT_EXIT(RunWithoutThreads(unthreaded, steps, expected), ::testing::ExitedWithCode(0), "");
    return expected;
  }

  // Many notes, each with words of its own, in Latin and Cyrillic; some
  // time-named, two of them after the same words; an old empty one.
  static void ManyNotes(const fs::path& folder, TestEnv&) {
    for (int note = 0; note < kManyNotes; ++note) {
      std::string text = "Common слово shared" + std::to_string(note % 50);
      for (int word = 0; word < 20; ++word) {
        text.append(" w").append(std::to_string(note)).append("x").append(std::to_string(word));
      }
      text.append(" Ёж").append(std::to_string(note % 7));
      // Appended rather than "n" + ...: GCC 12 warns (-Wrestrict) about the
      // inlined copy of that sum in a Release build.
      std::string name = "n";
      name.append(std::to_string(note)).append(".txt");
      WriteNote(folder, name, text, kWritten - note);
    }
    WriteNote(folder, "note-2024.01.05-09.29.00.txt", "Shopping list: milk, bread");
    WriteNote(folder, "note-2024.01.05-09.29.01.txt", "Shopping list: apples");
    WriteNote(folder, "NOTE-2024.01.05-09.29.02.txt", "Идеи на завтра");
    WriteNote(folder, "empty.txt", "", kOld);
  }
};

TEST_F(RefreshWithoutThreadsTest, AFolderIsIndexedLoadedAndChangedAlike) {
  const std::vector<Outcome> expected = ExpectAlikeWithoutThreads({
      ManyNotes,
      [](const fs::path&, TestEnv&) {},  // nothing changed: the index is only loaded
      [](const fs::path& folder, TestEnv&) {
        WriteNote(folder, "n5.txt", "changed words", kWritten + 60);
        fs::remove(folder / "n7.txt");
        WriteNote(folder, "note-2024.01.05-10.00.00.txt", "Shopping list: tea", kWritten + 60);
      },
      // Only a note gone, while the listing gives a name of its second half
      // twice: the count of notes seen cannot tell that one is gone.
      [](const fs::path& folder, TestEnv& env) {
        fs::remove(folder / "n8.txt");
        env.listedTwice = {u"n999.txt"};
      },
  });
  ASSERT_EQ(expected.size(), 4u);
  const auto has = [](const Outcome& outcome, const std::string& file) {
    return std::binary_search(outcome.files.begin(), outcome.files.end(), file);
  };
  EXPECT_TRUE(has(expected[0], "Shopping list milk bread.txt"));
  EXPECT_TRUE(has(expected[0], "Shopping list apples.txt"));
  EXPECT_TRUE(has(expected[0], "Идеи на завтра.txt"));
  EXPECT_FALSE(has(expected[0], "empty.txt"));
  EXPECT_GT(expected[0].order.size(), std::size_t{kManyNotes} * 20);
  EXPECT_EQ(expected[1].index, expected[0].index);
  EXPECT_EQ(expected[1].files, expected[0].files);
  EXPECT_NE(expected[2].index, expected[1].index);
  EXPECT_FALSE(has(expected[2], "n7.txt"));
  EXPECT_TRUE(has(expected[2], "Shopping list tea.txt"));
  EXPECT_NE(expected[3].index, expected[2].index);
}

// Without a thread the index is saved before the window opens: the
// progress hears of the save too, not only of the notes.
TEST_F(RefreshWithoutThreadsTest, TheSaveBeforeTheWindowIsReported) {
  const auto refreshWithoutThreads = [] {
    TempDir dir;
    TestEnv env;
    ManyNotes(dir.path(), env);
    if (!RefuseThreads()) _exit(2);
    class LargestTotal : public RefreshProgress {
     public:
      void Working(std::size_t, std::size_t total) override { largest = std::max(largest, total); }
      void Done() override {}
      std::size_t largest = 0;
    } progress;
    RecordingWindow window;
    Refresh(env, dir.folder(), window, &progress);
    // The notes number kManyNotes and a few; their words many more.
    _exit(progress.largest > std::size_t{kManyNotes} * 2 ? 0 : 1);
  };
  EXPECT_EXIT(refreshWithoutThreads(), ::testing::ExitedWithCode(0), "");
}

// A save that fails at each of its writes in turn (those on the writing
// thread and the last one), then one that succeeds: the old file stays
// until then, and no temporary file is left.
TEST_F(RefreshWithoutThreadsTest, FailedSavesAreMetAlike) {
  constexpr int kFailing = 8;
  std::vector<Step> steps{ManyNotes};
  for (int failed = 0; failed <= kFailing; ++failed) {
    steps.push_back([failed](const fs::path& folder, TestEnv& env) {
      WriteNote(folder, "n" + std::to_string(failed) + ".txt", "change " + std::to_string(failed), kWritten + 60);
      env.writesFailFrom = failed < kFailing ? failed : -1;
    });
  }
  const std::vector<Outcome> expected = ExpectAlikeWithoutThreads(steps);
  ASSERT_EQ(expected.size(), steps.size());
  // Past the last write a save succeeds; before it every one failed.
  std::size_t saved = 1;
  while (saved < expected.size() && expected[saved].index == expected[0].index) {
    EXPECT_EQ(expected[saved].files, expected[0].files);
    EXPECT_NE(expected[saved].order, expected[0].order);
    ++saved;
  }
  EXPECT_GT(saved, 3u);
  EXPECT_LT(saved, expected.size() - 1);
}

}  // namespace
