// The folder refresh on real temporary folders, driven headless.

#include "index/refresh.h"
#include "index/refresh_reporting_memory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "index/archive.h"
#include "index/map.h"
#include "index/refresh_progress.h"
#include "index/search_window.h"
#include "index/stamp.h"
#include "platform/text/code_page.h"
#include "platform/text/file_names.h"
#include "platform/text/lower_case.h"
#include "tests/support/alloc_failure.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kWritten = 1704447000;  // 2024-01-05 09:30:00 UTC, the test clock's now
constexpr std::int64_t kOld = kWritten - kEmptyNoteMinAge - 1;  // old enough to delete

// The two maps of an index file, as pairs in file order.
struct IndexFile {
  std::vector<std::pair<std::u16string, std::u16string>> stamps;
  std::vector<std::pair<std::u16string, std::u16string>> wordLists;
};

// When the progress heard of the work.
class TimedProgress : public RefreshProgress {
 public:
  using Clock = std::chrono::steady_clock;
  void Working(std::size_t, std::size_t) override { heard_.push_back(Clock::now()); }
  void Done() override {}
  bool HeardBetween(Clock::time_point from, Clock::time_point to) const {
    return std::any_of(heard_.begin(), heard_.end(),
                       [&](Clock::time_point t) { return t >= from && t < to; });
  }

 private:
  std::vector<Clock::time_point> heard_;
};

class RefreshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetAnsiCodePage(65001);
    SetUserLowerCase(true);
  }

  std::string Native(const std::string& name) const { return dir_.path().string() + "/" + name; }

  void Write(const std::string& name, const std::string& text, std::int64_t mtime = kWritten) {
    std::ofstream(Native(name), std::ios::binary | std::ios::trunc) << text;
    Touch(name, mtime);
  }
  void Touch(const std::string& name, std::int64_t mtime) {
    const timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, Native(name).c_str(), times, 0), 0);
  }
  bool Exists(const std::string& name) const {
    struct stat st;
    return lstat(Native(name).c_str(), &st) == 0;
  }
  std::u16string Path(const std::string& name) const { return FromNativeName(Native(name)); }

  // One refresh of the folder; what the window saw.
  RecordingWindow Run() {
    RecordingWindow window;
    Refresh(env_, dir_.folder(), window);
    EXPECT_EQ(window.shown, 1);
    return window;
  }

  IndexFile ReadIndex() {
    IndexFile index;
    auto file = Env::Default().OpenForRead(Path("notes.ndx"));
    if (file == nullptr) {
      ADD_FAILURE() << "no index file";
      return index;
    }
    CArchive ar(*file, CArchive::load);
    for (auto* pairs : {&index.stamps, &index.wordLists}) {
      for (std::uint32_t n = ar.ReadCount(); n > 0; --n) {
        std::u16string key = ar.ReadString();
        pairs->emplace_back(key, ar.ReadString());
      }
    }
    return index;
  }
  std::map<std::u16string, std::u16string> Stamps() {
    const IndexFile index = ReadIndex();
    return {index.stamps.begin(), index.stamps.end()};
  }

  TempDir dir_;
  TestEnv env_;
  const std::u16string stamp_ = MakeStamp(kWritten, 0);
};

TEST_F(RefreshTest, IndexesNotesAndShowsTheWindowTheFolderWithASlash) {
  Write("shop.txt", "Milk, MILK and milk.\nЯблоки");
  RecordingWindow window;
  const std::u16string folder = dir_.folder();
  Refresh(env_, folder.substr(0, folder.size() - 1), window);

  EXPECT_EQ(window.folder, folder);
  EXPECT_EQ(window.words, (Words{{u"milk", {u"shop.txt"}},
                                 {u"and", {u"shop.txt"}},
                                 {u"яблоки", {u"shop.txt"}}}));
  EXPECT_EQ(Stamps(), (std::map<std::u16string, std::u16string>{{u"shop.txt", stamp_}}));
}

TEST_F(RefreshTest, DeletesEmptyNotesAndPrunesThemWhenRecorded) {
  Write("kept.txt", "kept");
  Write("emptied.txt", "gone soon");
  Run();
  Write("emptied.txt", "", kOld);
  Write("note-2024.01.05-09.29.00.txt", "", kOld);  // made by the new-note mode

  const RecordingWindow window = Run();
  EXPECT_FALSE(Exists("emptied.txt"));
  EXPECT_FALSE(Exists("note-2024.01.05-09.29.00.txt"));
  EXPECT_EQ(Stamps(), (std::map<std::u16string, std::u16string>{{u"kept.txt", stamp_}}));
  // The word stays in memory with no note, and leaves the file.
  EXPECT_EQ(window.words.at(u"gone"), Names{});
  for (const auto& [word, list] : ReadIndex().wordLists) EXPECT_NE(word, u"gone");
}

TEST_F(RefreshTest, YoungEmptyNotesAreLeftAloneUnrecordedUntilOldEnough) {
  Write("kept.txt", "kept");
  Write("emptied.txt", "words");
  Run();
  // An editor saving in place has just truncated one and is about to write
  // it; the other was truncated exactly the minimum age ago.
  Write("emptied.txt", "", kWritten);
  Write("borderline.txt", "", kWritten - kEmptyNoteMinAge);
  Write("old.txt", "", kOld);
  // The old one is truncated again between the scan and the delete.
  env_.afterFindNotes = [this] { Touch("old.txt", kWritten); };

  Run();
  EXPECT_TRUE(Exists("emptied.txt"));
  EXPECT_TRUE(Exists("borderline.txt"));
  EXPECT_TRUE(Exists("old.txt"));
  EXPECT_EQ(Stamps(), (std::map<std::u16string, std::u16string>{{u"kept.txt", stamp_}}));

  env_.afterFindNotes = nullptr;
  env_.now += kEmptyNoteMinAge + 1;
  Run();
  for (const char* gone : {"emptied.txt", "borderline.txt", "old.txt"}) {
    EXPECT_FALSE(Exists(gone)) << gone;
  }
}

TEST_F(RefreshTest, AnotherRefreshOfTheFolderIsWaitedForButNotTheWindow) {
  Write("a.txt", "apple");
  const int other = open(dir_.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(other, LOCK_EX), 0);

  // The window tries the lock as a second refresh would while it is open;
  // the save that may still run beside it lets the lock go when it is done.
  class LockProbe : public RecordingWindow {
   public:
    explicit LockProbe(std::string folder) : folder_(std::move(folder)) {}
    void Show(WordIndex& words, const std::u16string& notesFolder) override {
      const int fd = open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
      const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!freeWhileShown && std::chrono::steady_clock::now() < giveUp) {
        freeWhileShown = flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!freeWhileShown) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      close(fd);
      RecordingWindow::Show(words, notesFolder);
      ++showings;
    }
    std::atomic<bool> freeWhileShown{false};
    // Read while the refresh thread may be showing: shown is not atomic.
    std::atomic<int> showings{0};

   private:
    std::string folder_;
  } window(dir_.path().string());

  std::thread refresh([&] { Refresh(env_, dir_.folder(), window); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(Exists("notes.ndx"));
  EXPECT_EQ(window.showings.load(), 0);
  close(other);  // the other run ends
  refresh.join();
  EXPECT_EQ(window.shown, 1);
  EXPECT_TRUE(window.freeWhileShown);
  EXPECT_TRUE(Exists("notes.ndx"));
}

// Waiting for another refresh of the folder (a second start of the search
// while the first still works or saves a large index) is work the user
// waits for too: the progress hears of it once the window is due.
TEST_F(RefreshTest, WaitingForAnotherRefreshIsReported) {
  using Clock = TimedProgress::Clock;
  Write("a.txt", "apple");
  const int other = open(dir_.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(other, LOCK_EX), 0);
  TimedProgress progress;

  RecordingWindow window;
  const Clock::time_point due = Clock::now() + std::chrono::milliseconds(500);
  std::thread refresh([&] { Refresh(env_, dir_.folder(), window, &progress); });
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const Clock::time_point released = Clock::now();
  close(other);  // the other run ends
  refresh.join();
  EXPECT_EQ(window.shown, 1);
  EXPECT_TRUE(progress.HeardBetween(due, released))
      << "nothing heard while the other refresh was waited for";
}

// Copies of the index that the user keeps beside it are the user's files,
// whatever their suffix: only what a killed run left may go.
TEST_F(RefreshTest, TempIndexFilesOfKilledRunsAreRemovedAndNothingElse) {
  Write("a.txt", "apple");
  Run();
  const IndexFile before = ReadIndex();
  Write("notes.ndx.~k1LLed", std::string(1000, 'x'));
  for (const char* copy : {"notes.ndx.bak", "notes.ndx.backup", "notes.ndx.241210"}) {
    fs::copy_file(Native("notes.ndx"), Native(copy));
  }
  Run();  // nothing to save, still tidied
  EXPECT_FALSE(Exists("notes.ndx.~k1LLed"));
  EXPECT_EQ(ReadIndex().stamps, before.stamps);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 5);
}

// Every phase of a large refresh tells the progress window how far it is,
// so the window never stands still: loading both sections of the index,
// listing the folder, scanning the notes and saving both sections.
TEST_F(RefreshTest, EveryPhaseOfALargeRefreshReportsProgress) {
  for (int i = 0; i < 2100; ++i) {
    // Built by append: GCC 12 at -O3 warns wrongly (-Wrestrict) about
    // "literal" + std::to_string(...).
    const std::string number = std::to_string(i);
    Write(std::string("n").append(number).append(".txt"),
          std::string("w").append(number).append(" v").append(std::to_string(i % 7)));
  }
  Run();  // 2100 stamps, 2107 word lists
  Write("extra.txt", "extra");

  class RecordingProgress : public RefreshProgress {
   public:
    void Working(std::size_t done, std::size_t total) override { calls.emplace_back(done, total); }
    void Done() override { calls.emplace_back(0, 1); }
    std::vector<std::pair<std::size_t, std::size_t>> calls;
  } progress;
  RecordingWindow window;
  Refresh(env_, dir_.folder(), window, &progress);

  const std::vector<std::pair<std::size_t, std::size_t>> expected = {
      {1024, 2100},  // stamps loaded
      {1024, 2107},  // word lists loaded
      {2048, 0},     // notes listed, their number not known yet
      {2100, 2101},  // notes scanned
      {0, 1}};       // done
  auto next = progress.calls.begin();
  for (const auto& call : expected) {
    next = std::find(next, progress.calls.end(), call);
    ASSERT_NE(next, progress.calls.end()) << call.first << " of " << call.second;
  }
  // The index is saved while the window is open: the progress, closed by
  // then, hears nothing of it.
  EXPECT_EQ(next + 1, progress.calls.end());
}

// A note on a slow medium (a network share, a sleeping disk) may take
// seconds to read: the progress must still hear of the work once the
// window is due, while the note is being read, not only when it is done.
TEST_F(RefreshTest, ANoteThatIsSlowToReadIsReportedWhileItIsRead) {
  using Clock = TimedProgress::Clock;
  Write("slow.txt", std::string(1 << 20, 'w'));
  // Hands over a note's bytes at 1 MiB a second.
  class SlowFile : public ForwardingFile {
   public:
    SlowFile(std::unique_ptr<CFile> file, Clock::time_point& readDone)
        : ForwardingFile(std::move(file)), readDone_(readDone) {}
    std::size_t Read(void* buf, std::size_t n) override {
      std::this_thread::sleep_for(std::chrono::microseconds(n / 1024 * 1000));
      const std::size_t got = ForwardingFile::Read(buf, n);
      readDone_ = Clock::now();
      return got;
    }

   private:
    Clock::time_point& readDone_;
  };
  class SlowNotes : public TestEnv {
   public:
    std::unique_ptr<CFile> OpenForRead(const std::u16string& path) override {
      std::unique_ptr<CFile> file = TestEnv::OpenForRead(path);
      if (file == nullptr || !path.ends_with(u".txt")) return file;
      return std::make_unique<SlowFile>(std::move(file), readDone);
    }
    Clock::time_point readDone;
  } env;
  TimedProgress progress;

  RecordingWindow window;
  const Clock::time_point start = Clock::now();
  Refresh(env, dir_.folder(), window, &progress);
  ASSERT_EQ(window.words.count(std::u16string(1 << 20, u'w')), 1u);
  const Clock::time_point due = start + std::chrono::milliseconds(500);
  ASSERT_GT(env.readDone, due);
  EXPECT_TRUE(progress.HeardBetween(due, env.readDone))
      << "nothing heard from the window's due time until the note was read";
}

// Memory that runs out while a large note is read is reported like any
// other, not taken for a note that cannot be read.
TEST_F(RefreshTest, MemoryRunningOutWhileALargeNoteIsReadIsNotPassedOver) {
  Write("big.txt", std::string(1 << 20, 'w'));
  class NoteOpened : public TestEnv {
   public:
    std::unique_ptr<CFile> OpenForRead(const std::u16string& path) override {
      opened = opened || path.ends_with(u"big.txt");
      return TestEnv::OpenForRead(path);
    }
    bool opened = false;
  } env;
  class FailingWhileRead : public RefreshProgress {
   public:
    explicit FailingWhileRead(const bool& reading) : reading_(reading) {}
    void Working(std::size_t, std::size_t) override {
      if (reading_) throw std::bad_alloc();
    }
    void Done() override {}

   private:
    const bool& reading_;
  } progress(env.opened);

  RecordingWindow window;
  EXPECT_THROW(Refresh(env, dir_.folder(), window, &progress), std::bad_alloc);
  EXPECT_FALSE(std::filesystem::exists(Native("notes.ndx")));
}

// The window opens while notes.ndx is still being written; the folder
// stays locked until the file is in place, and Refresh returns only then.
TEST_F(RefreshTest, TheWindowOpensWhileTheIndexIsSavedAndRefreshWaitsForTheSave) {
  Write("a.txt", "apple");
  // Puts the new index in place only once the window has looked.
  class HeldSave : public TestEnv {
   public:
    bool RenameReplacing(const std::u16string& from, const std::u16string& to) override {
      windowLooked = looked.get_future().wait_for(std::chrono::seconds(10)) == std::future_status::ready;
      return TestEnv::RenameReplacing(from, to);
    }
    std::promise<void> looked;
    bool windowLooked = false;
  } env;
  class Probe : public RecordingWindow {
   public:
    Probe(std::string folder, std::string index, HeldSave& env)
        : folder_(std::move(folder)), index_(std::move(index)), env_(env) {}
    void Show(WordIndex& words, const std::u16string& notesFolder) override {
      const int fd = open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
      lockedWhileSaving = flock(fd, LOCK_EX | LOCK_NB) != 0;
      close(fd);
      struct stat st;
      indexBeforeWindow = lstat(index_.c_str(), &st) == 0;
      env_.looked.set_value();
      RecordingWindow::Show(words, notesFolder);
    }
    bool lockedWhileSaving = false;
    bool indexBeforeWindow = true;

   private:
    std::string folder_;
    std::string index_;
    HeldSave& env_;
  } window(dir_.path().string(), Native("notes.ndx"), env);

  Refresh(env, dir_.folder(), window);
  EXPECT_TRUE(env.windowLooked);
  EXPECT_TRUE(window.lockedWhileSaving);
  EXPECT_FALSE(window.indexBeforeWindow);
  EXPECT_TRUE(Exists("notes.ndx"));
  EXPECT_EQ(ReadIndex().wordLists.size(), 1u);
  const int fd = open(dir_.path().c_str(), O_RDONLY | O_DIRECTORY);
  EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  close(fd);
}

// A save that fails beside the open window leaves the old file byte for
// byte and no temporary file; the window had the new index all the same,
// and the next refresh saves it.
TEST_F(RefreshTest, AFailedSaveBesideTheWindowKeepsTheOldFile) {
  Write("a.txt", "apple");
  Run();
  std::ifstream in(Native("notes.ndx"), std::ios::binary);
  const std::string before(std::istreambuf_iterator<char>(in), {});
  Write("b.txt", "banana");

  for (bool* fail : {&env_.failWrites, &env_.failReplace}) {
    *fail = true;
    const RecordingWindow window = Run();
    *fail = false;
    EXPECT_EQ(window.words.at(u"banana"), (Names{u"b.txt"}));
    std::ifstream now(Native("notes.ndx"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(now), {}), before);
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
      EXPECT_FALSE(entry.path().filename().string().starts_with("notes.ndx.")) << entry.path();
    }
  }
  Run();
  EXPECT_EQ(ReadIndex().wordLists.size(), 2u);
}

TEST_F(RefreshTest, OutOfMemoryLeavesTheOldIndexAndSaysSoOnOneLine) {
  Write("a.txt", "apple tree");
  Run();
  std::ifstream in(Native("notes.ndx"), std::ios::binary);
  const std::string before(std::istreambuf_iterator<char>(in), {});
  Write("b.txt", "banana split");
  Write("a.txt", "apple pie", kWritten + 1);

  const std::u16string folder = dir_.folder();
  int reported = 0;
  for (int after = 0;; ++after) {
    std::ofstream(Native("notes.ndx"), std::ios::binary | std::ios::trunc) << before;
    RecordingWindow window;
    ::testing::internal::CaptureStderr();
    bool done;
    bool fired;
    {
      FailAllocation fail(after);
      done = RefreshReportingMemory(env_, folder, window);
      fired = fail.Fired();
    }
    const std::string err = ::testing::internal::GetCapturedStderr();
    if (!fired) {
      EXPECT_TRUE(done);
      break;
    }
    if (done) {
      // Coped with: then the changes reached the file, since a save that
      // memory stopped is reported, not passed over in silence.
      std::ifstream now(Native("notes.ndx"), std::ios::binary);
      EXPECT_NE(std::string(std::istreambuf_iterator<char>(now), {}), before) << after;
      continue;
    }
    // Past the index work, memory may run out in the window or in the save
    // beside it, which is reported when the window has closed.
    if (window.shown != 0 && err == "scriblet: out of memory in the search window\n") continue;
    ++reported;
    EXPECT_EQ(err, "scriblet: out of memory; notes.ndx was left as it was\n") << after;
    std::ifstream now(Native("notes.ndx"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(now), {}), before) << after;
  }
  EXPECT_GT(reported, 0);
}

TEST_F(RefreshTest, RenamesOnlyTimeNamedNotesAfterTheirFirstWords) {
  Write("NOTE-x.txt", "upper case prefix");
  Write("Note-2026.txt", "mixed");
  Write("note.txt", "short name");
  Write("notes-1.txt", "not the prefix");
  Write("note-2024.01.05-09.30.00.txt", "Buy milk, eggs!\nand more");

  const RecordingWindow window = Run();
  for (const char* gone : {"NOTE-x.txt", "Note-2026.txt", "note-2024.01.05-09.30.00.txt"}) {
    EXPECT_FALSE(Exists(gone)) << gone;
  }
  for (const char* kept : {"upper case prefix.txt", "mixed.txt", "note.txt", "notes-1.txt",
                           "Buy milk eggs and more.txt"}) {
    EXPECT_TRUE(Exists(kept)) << kept;
  }
  EXPECT_EQ(window.words.at(u"buy"), Names{u"Buy milk eggs and more.txt"});
  EXPECT_EQ(window.words.at(u"short"), Names{u"note.txt"});
  EXPECT_EQ(Stamps().count(u"Buy milk eggs and more.txt"), 1u);

  // Renamed notes keep their times, so nothing is read again.
  env_.opened.clear();
  Run();
  EXPECT_EQ(env_.opened, std::vector<std::u16string>{Path("notes.ndx")});
}

TEST_F(RefreshTest, TakenNamesGetNumbersInScanOrder) {
  for (const char* name : {"note-1.txt", "note-2.txt", "note-3.txt"}) Write(name, "Buy milk, eggs!");
  Write("note-4.txt", "?!");
  Write("note-5.txt", "...");

  const RecordingWindow window = Run();
  for (const char* name : {"Buy milk eggs.txt", "Buy milk eggs.0.txt", "Buy milk eggs.1.txt",
                           ".txt", ".0.txt"}) {
    EXPECT_TRUE(Exists(name)) << name;
  }
  EXPECT_EQ(window.words, (Words{{u"buy", {u"Buy milk eggs.txt", u"Buy milk eggs.0.txt",
                                           u"Buy milk eggs.1.txt"}},
                                 {u"milk", {u"Buy milk eggs.txt", u"Buy milk eggs.0.txt",
                                            u"Buy milk eggs.1.txt"}},
                                 {u"eggs", {u"Buy milk eggs.txt", u"Buy milk eggs.0.txt",
                                            u"Buy milk eggs.1.txt"}}}));
  EXPECT_EQ(Stamps().size(), 5u);
}

TEST_F(RefreshTest, BaseNameTakesWordsWhileShorterThan180) {
  const std::string w179(179, 'a');
  const std::string w180(180, 'b');
  Write("note-1.txt", w179 + " cd ef");
  Write("note-2.txt", w180 + " cd");
  Run();
  EXPECT_TRUE(Exists(w179 + " cd.txt"));
  EXPECT_TRUE(Exists(w180 + ".txt"));
}

TEST_F(RefreshTest, TextEndsAtTheFirstZeroByte) {
  Write("zero.txt", std::string("alpha\0beta", 10));
  Write("wide.txt", std::string("h\0i\0", 4));  // UTF-16LE "hi"
  const RecordingWindow window = Run();
  EXPECT_EQ(window.words, (Words{{u"alpha", {u"zero.txt"}}, {u"h", {u"wide.txt"}}}));
}

TEST_F(RefreshTest, UnchangedNotesAreNotOpenedAndTheIndexNotRewritten) {
  Write("a.txt", "apple");
  Run();
  Touch("notes.ndx", 1000000000);
  env_.unopenable.insert(Path("a.txt"));
  env_.opened.clear();

  const RecordingWindow window = Run();
  EXPECT_EQ(window.words, (Words{{u"apple", {u"a.txt"}}}));
  EXPECT_EQ(env_.opened, std::vector<std::u16string>{Path("notes.ndx")});
  struct stat st;
  ASSERT_EQ(stat(Native("notes.ndx").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

TEST_F(RefreshTest, AChangedNoteKeepsItsOldWords) {
  Write("a.txt", "old words");
  Run();
  Write("a.txt", "new", kWritten + 60);
  const RecordingWindow window = Run();
  EXPECT_EQ(window.words, (Words{{u"old", {u"a.txt"}}, {u"words", {u"a.txt"}},
                                 {u"new", {u"a.txt"}}}));
  EXPECT_EQ(Stamps().at(u"a.txt"), MakeStamp(kWritten + 60, 0));
}

// A time-named note renamed onto a listed name that another program
// removed after the listing: that name is seen twice, and the one note
// that did vanish must still be dropped.
TEST_F(RefreshTest, ANoteRenamedOntoAListedNameStillLetsAVanishedNoteGo) {
  Write("apple.txt", "apple");
  Write("gone.txt", "gone");
  Run();
  Write("note-1.txt", "apple");
  std::filesystem::remove(Native("gone.txt"));
  env_.afterFindNotes = [this] { std::filesystem::remove(Native("apple.txt")); };

  const RecordingWindow window = Run();
  EXPECT_TRUE(Exists("apple.txt"));
  EXPECT_FALSE(Exists("note-1.txt"));
  EXPECT_EQ(Stamps(), (std::map<std::u16string, std::u16string>{{u"apple.txt", stamp_}}));
  EXPECT_EQ(window.words.at(u"gone"), Names{});
}

// A name the listing repeats does not pass for a second note seen: a note
// that vanished is still dropped, in a small folder and in a large one
// whose listing is checked in two halves, the repeat within a half or where
// the halves meet (n11049.txt is the 1050th of 2100 names, and 2101 entries
// are checked in halves of 1050 and 1051).
TEST_F(RefreshTest, ANameListedTwiceStillLetsAVanishedNoteGo) {
  const auto dropsVanished = [this](const std::u16string& twice) {
    Write("gone.txt", "gone");
    Run();
    std::filesystem::remove(Native("gone.txt"));
    env_.listedTwice = {twice};
    Run();
    env_.listedTwice.clear();
    return Stamps().count(u"gone.txt") == 0;
  };
  Write("a.txt", "one");
  Write("b.txt", "two");
  EXPECT_TRUE(dropsVanished(u"a.txt"));
  for (int i = 2; i < 2100; ++i) {
    // Built by append: GCC 12 at -O3 warns wrongly (-Wrestrict) about
    // "literal" + std::to_string(...).
    Write(std::string("n").append(std::to_string(10000 + i)).append(".txt"), "many");
  }
  for (const char16_t* twice : {u"a.txt", u"n10500.txt", u"n11048.txt", u"n11049.txt", u"n11050.txt", u"n11600.txt"}) {
    EXPECT_TRUE(dropsVanished(twice)) << std::string(twice, twice + std::char_traits<char16_t>::length(twice));
  }
}

// A listing that breaks off, at its start (a folder that cannot be read)
// or midway (a failing disk), cannot tell a vanished note from an unlisted
// one: every recorded note stays searchable and recorded until a whole
// listing settles which are gone. What it did list is handled as usual.
TEST_F(RefreshTest, AListingThatBreaksOffDropsNoRecordedNote) {
  Write("apple.txt", "apple");
  Write("pear.txt", "pear");
  Write("gone.txt", "gone");
  Run();
  fs::remove(Native("gone.txt"));
  Touch("notes.ndx", 1000000000);

  env_.listingBreaksAfter = 0;
  EXPECT_EQ(Run().words, (Words{{u"apple", {u"apple.txt"}}, {u"pear", {u"pear.txt"}}, {u"gone", {u"gone.txt"}}}));
  struct stat st;
  ASSERT_EQ(stat(Native("notes.ndx").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000) << "nothing read, nothing to save";

  // Two of three listed, in the system's order: apple.txt or plum.txt is
  // among them and read, so the index is saved.
  Write("apple.txt", "apple tree", kWritten + 60);
  Write("plum.txt", "plum");
  env_.listingBreaksAfter = 2;
  const RecordingWindow broken = Run();
  for (const char16_t* word : {u"apple", u"pear", u"gone"}) EXPECT_EQ(broken.words.at(word).size(), 1u);
  ASSERT_EQ(stat(Native("notes.ndx").c_str(), &st), 0);
  EXPECT_NE(st.st_mtim.tv_sec, 1000000000);
  for (const char16_t* name : {u"apple.txt", u"pear.txt", u"gone.txt"}) EXPECT_EQ(Stamps().count(name), 1u);

  env_.listingBreaksAfter = -1;
  Run();
  EXPECT_EQ(Stamps(), (std::map<std::u16string, std::u16string>{
                          {u"apple.txt", MakeStamp(kWritten + 60, 0)}, {u"pear.txt", stamp_}, {u"plum.txt", stamp_}}));
}

// Once a note was read and stamped, a later note is checked against the
// stamps as they are then, not as they were when the scan began: here a
// note renamed onto a listed name (its file removed by another program
// after the listing) makes that name's listed stamp a stale one, so it is
// read again and stamped as listed.
TEST_F(RefreshTest, NotesAfterARenameAreCheckedAgainstTheStampsAsTheyAreThen) {
  Write("zebra.txt", "zebra stripes");
  Run();
  Write("note-1.txt", "zebra", kWritten + 60);
  env_.afterFindNotes = [this] { std::filesystem::remove(Native("zebra.txt")); };

  const RecordingWindow window = Run();
  EXPECT_TRUE(Exists("zebra.txt"));
  EXPECT_FALSE(Exists("note-1.txt"));
  EXPECT_EQ(Stamps(), (std::map<std::u16string, std::u16string>{{u"zebra.txt", stamp_}}));
  EXPECT_EQ(window.words.at(u"zebra"), Names{u"zebra.txt"});
}

TEST_F(RefreshTest, AFolderWithoutNotesGetsNoIndex) {
  Run();
  EXPECT_FALSE(Exists("notes.ndx"));

  RecordingWindow window;
  Refresh(env_, dir_.folder() + u"missing", window);
  EXPECT_EQ(window.shown, 1);
  EXPECT_FALSE(Exists("missing"));
}

TEST_F(RefreshTest, ASecondSaveReversesKeysOfOneBucket) {
  // "a" and "r" share bucket 12 (97 and 114 mod 17).
  Write("x.txt", "a r");
  Run();
  auto order = [this] {
    std::vector<std::u16string> words;
    for (const auto& [word, list] : ReadIndex().wordLists) words.push_back(word);
    return words;
  };
  EXPECT_EQ(order(), (std::vector<std::u16string>{u"a", u"r"}));
  Write("y.txt", "q");  // bucket 11: something to save
  Run();
  EXPECT_EQ(order(), (std::vector<std::u16string>{u"q", u"r", u"a"}));
}

TEST_F(RefreshTest, NotesThatCannotBeReadAreTriedAgainAndNotLost) {
  Write("locked.txt", "locked words");
  Write("bad.txt", "bad sector");
  Write("note-1.txt", "time named");
  Write("fine.txt", "fine");
  env_.unopenable = {Path("locked.txt"), Path("note-1.txt")};
  env_.unreadable = {Path("bad.txt")};

  RecordingWindow window = Run();
  EXPECT_EQ(window.words, (Words{{u"fine", {u"fine.txt"}}}));
  EXPECT_TRUE(Exists("note-1.txt"));
  EXPECT_EQ(Stamps(), (std::map<std::u16string, std::u16string>{{u"fine.txt", stamp_}}));

  env_.unopenable.clear();
  env_.unreadable.clear();
  window = Run();
  EXPECT_EQ(window.words.at(u"locked"), Names{u"locked.txt"});
  EXPECT_EQ(window.words.at(u"bad"), Names{u"bad.txt"});
  EXPECT_EQ(window.words.at(u"time"), Names{u"time named.txt"});
  EXPECT_EQ(Stamps().size(), 4u);
}

TEST_F(RefreshTest, ARecordedNoteThatCannotBeReadKeepsItsOldStampAndWords) {
  Write("a.txt", "first");
  Run();
  Write("a.txt", "second", kWritten + 60);
  env_.unopenable.insert(Path("a.txt"));
  const RecordingWindow window = Run();
  EXPECT_EQ(window.words, (Words{{u"first", {u"a.txt"}}}));
  EXPECT_EQ(Stamps().at(u"a.txt"), stamp_);
}

TEST_F(RefreshTest, AFailedRenameKeepsTheFoundName) {
  Write("note-1.txt", "read only folder");
  env_.failRenames = true;
  RecordingWindow window = Run();
  EXPECT_EQ(env_.renames, 1);
  EXPECT_EQ(window.words.at(u"folder"), Names{u"note-1.txt"});
  EXPECT_EQ(Stamps().count(u"note-1.txt"), 1u);

  env_.failRenames = false;
  env_.renameTargetsTaken = true;
  env_.renames = 0;
  Write("note-2.txt", "all taken");
  window = Run();
  EXPECT_EQ(env_.renames, 1 + kMaxNumberedNames);
  EXPECT_EQ(window.words.at(u"taken"), Names{u"note-2.txt"});
  EXPECT_TRUE(Exists("note-2.txt"));
}

TEST_F(RefreshTest, AReadOnlyFolderIsStillSearchable) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions (see AFailedRename...)";
  Write("note-1.txt", "read only");
  Write("empty.txt", "");
  ASSERT_EQ(chmod(dir_.path().c_str(), 0555), 0);
  const RecordingWindow window = Run();
  EXPECT_EQ(env_.renames, 1);
  EXPECT_EQ(window.words.at(u"only"), Names{u"note-1.txt"});
  EXPECT_TRUE(Exists("empty.txt"));
  EXPECT_FALSE(Exists("notes.ndx"));
}

TEST_F(RefreshTest, ABaseNameLosesWordsUntilItFitsTheFileSystem) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "слово ";  // 240 characters, 400 bytes
  Write("note-1.txt", text);
  Write("note-2.txt", text);
  // One word of a MiB: cut to what fits, without working through every length.
  Write("note-3.txt", std::string(1 << 20, 'x') + " tail");
  const RecordingWindow window = Run();

  std::string base = "слово";  // as many whole words as fit in 255 bytes with ".txt"
  while (base.size() + 11 + 4 <= 255) base += " слово";
  EXPECT_TRUE(Exists(base + ".txt"));
  const std::string second = base + ".0.txt";
  EXPECT_TRUE(Exists(second)) << second;
  EXPECT_EQ(window.words.at(u"слово"),
            (Names{FromNativeName(base + ".txt"), FromNativeName(second)}));
  EXPECT_EQ(window.words.at(u"tail"), Names{FromNativeName(std::string(251, 'x') + ".txt")});
}

TEST_F(RefreshTest, ANoteThatShrankEndsAfterTheBytesRead) {
  Write("a.txt", "short and then much longer");
  env_.afterFindNotes = [this] { ASSERT_EQ(truncate(Native("a.txt").c_str(), 5), 0); };
  const RecordingWindow window = Run();
  EXPECT_EQ(window.words, (Words{{u"short", {u"a.txt"}}}));
}

TEST_F(RefreshTest, AHugeNoteIsIndexedByItsFirstBytes) {
  // Spaces up to the limit with a word across it, then a sparse 3 GiB tail.
  {
    std::ofstream out(Native("huge.txt"), std::ios::binary);
    const std::string spaces(1 << 20, ' ');
    for (std::size_t n = 0; n + spaces.size() <= kMaxNoteBytes - 3; n += spaces.size()) {
      out << spaces;
    }
    out << std::string((kMaxNoteBytes - 3) % spaces.size(), ' ') << "abcdef";
  }
  ASSERT_EQ(truncate(Native("huge.txt").c_str(), off_t{3} << 30), 0);
  Write("small.txt", "small");

  const RecordingWindow window = Run();
  EXPECT_EQ(window.words, (Words{{u"abc", {u"huge.txt"}}, {u"small", {u"small.txt"}}}));
}

TEST_F(RefreshTest, WhatIsNotANoteIsLeftAloneAndTheRestIndexed) {
  const fs::path outside = dir_.path() / "outside";
  fs::create_directory(outside);
  std::ofstream(outside / "target.txt") << "linked text";
  std::ofstream(outside / "empty.txt");
  Touch("outside/empty.txt", kOld);
  const auto outsideTime = fs::last_write_time(outside / "target.txt");

  fs::create_directory(Native("notes"));
  const std::string notes = "notes/";
  ASSERT_EQ(mkfifo(Native(notes + "x.txt").c_str(), 0644), 0);
  fs::create_directory(Native(notes + "y.txt"));
  fs::create_symlink(outside / "target.txt", Native(notes + "link.txt"));
  fs::create_symlink(outside / "target.txt", Native(notes + "note-link.txt"));
  fs::create_symlink(outside / "empty.txt", Native(notes + "empty link.txt"));
  Write(notes + "a:b.txt", "colon");
  Write(notes + "bad\xFF.txt", "bytes");
  Write(notes + "plain.txt", "plain");

  RecordingWindow window;
  Refresh(env_, dir_.folder() + u"notes", window);
  EXPECT_EQ(window.words, (Words{{u"linked", {u"link.txt", u"linked text.txt"}},
                                 {u"text", {u"link.txt", u"linked text.txt"}},
                                 {u"bytes", {u"bad\xDCFF.txt"}},
                                 {u"plain", {u"plain.txt"}}}));
  EXPECT_TRUE(Exists(notes + "x.txt"));
  EXPECT_TRUE(Exists(notes + "y.txt"));
  EXPECT_TRUE(Exists(notes + "a:b.txt"));
  EXPECT_TRUE(fs::is_symlink(Native(notes + "linked text.txt")));
  EXPECT_FALSE(Exists(notes + "empty link.txt"));
  EXPECT_TRUE(fs::exists(outside / "empty.txt"));
  EXPECT_EQ(fs::last_write_time(outside / "target.txt"), outsideTime);
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 2);
}

// Whatever lies at notes.ndx and cannot be loaded (a file cut at any byte,
// one whose reads fail, a FIFO, a link to nowhere) gives way to the whole
// file a folder without an index gets, every note read again and found; a
// folder of that name is left alone, and the notes are found all the same.
TEST_F(RefreshTest, AnIndexThatCannotBeLoadedGivesWayToAWholeNewOne) {
  Write("a.txt", "apple pie");
  Write("b.txt", "banana pie");
  Write("c.txt", "cherry");
  const Words all = Run().words;
  const auto indexBytes = [this] {
    std::ifstream in(Native("notes.ndx"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string whole = indexBytes();
  const auto expectWhole = [&] {
    EXPECT_EQ(Run().words, all);
    EXPECT_TRUE(indexBytes() == whole);
  };
  for (std::size_t size = 0; size < whole.size(); ++size) {
    SCOPED_TRACE(size);
    std::ofstream(Native("notes.ndx"), std::ios::binary | std::ios::trunc) << whole.substr(0, size);
    expectWhole();
  }
  env_.unreadable.insert(Path("notes.ndx"));
  expectWhole();
  env_.unreadable.clear();
  fs::remove(Native("notes.ndx"));
  ASSERT_EQ(mkfifo(Native("notes.ndx").c_str(), 0644), 0);
  expectWhole();
  fs::remove(Native("notes.ndx"));
  fs::create_symlink(Native("nowhere"), Native("notes.ndx"));
  expectWhole();

  fs::remove(Native("notes.ndx"));
  fs::create_directory(Native("notes.ndx"));
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(Run().words, all);
    EXPECT_TRUE(fs::is_directory(Native("notes.ndx")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 4);
  }
}

// The index holds every word of every note: a private one (chmod 600) must
// never lie in the folder, under any name, open to others, not even while
// its successor is written or before it is renamed into place.
TEST_F(RefreshTest, APrivateIndexIsNeverReadableByOthersWhileItIsReplaced) {
  Write("a.txt", "secret");
  Run();
  ASSERT_EQ(chmod(Native("notes.ndx").c_str(), 0600), 0);
  Write("b.txt", "diary");
  class Watching : public TestEnv {
   public:
    bool RenameReplacing(const std::u16string& from, const std::u16string& to) override {
      struct stat st {};
      if (stat(ToNativeName(from).c_str(), &st) == 0) namedMode = st.st_mode & 0777;
      return TestEnv::RenameReplacing(from, to);
    }
    mode_t namedMode = 0;
  } env;
  const mode_t mask = umask(022);
  RecordingWindow window;
  Refresh(env, dir_.folder(), window);
  umask(mask);
  EXPECT_EQ(env.namedMode & 077, 0u) << std::oct << env.namedMode;
  struct stat st {};
  ASSERT_EQ(stat(Native("notes.ndx").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// A save that fails at any of its writes, the first of them halfway, or
// at making the file durable, leaves the old file byte for byte and no
// temporary file; once the disk takes it all the new file is whole. The
// index takes several of the save's buffers, so the failures meet the
// writes on the second thread as well as the last one.
TEST_F(RefreshTest, ASaveFailingAtAnyWriteKeepsTheOldFile) {
  for (int note = 0; note < 100; ++note) {
    std::string text;
    // Built by appending: GCC 12 at -O3 warns wrongly (-Wrestrict) about
    // "literal" + std::string.
    for (int word = 0; word < 250; ++word) {
      text.append("w").append(std::to_string(note)).append("x").append(std::to_string(word)).append(" ");
    }
    Write(std::string("n").append(std::to_string(note)).append(".txt"), text);
  }
  Run();
  std::ifstream in(Native("notes.ndx"), std::ios::binary);
  const std::string before(std::istreambuf_iterator<char>(in), {});
  ASSERT_GT(before.size(), 3 * CArchive::kBufferSize);
  Write("z.txt", "zebra");

  const auto expectOldFileOnly = [&] {
    std::ifstream now(Native("notes.ndx"), std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(now), {}) == before);
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
      EXPECT_FALSE(entry.path().filename().string().starts_with("notes.ndx.")) << entry.path();
    }
  };
  env_.failFlush = true;
  EXPECT_EQ(Run().words.at(u"zebra"), Names{u"z.txt"});
  expectOldFileOnly();
  env_.failFlush = false;
  int failed = 0;
  for (;; ++failed) {
    SCOPED_TRACE(failed);
    env_.writesFailFrom = failed;
    const RecordingWindow window = Run();
    EXPECT_EQ(window.words.at(u"zebra"), Names{u"z.txt"});
    EXPECT_EQ(window.words.size(), 100u * 250 + 1);
    std::ifstream now(Native("notes.ndx"), std::ios::binary);
    if (std::string(std::istreambuf_iterator<char>(now), {}) != before) break;
    expectOldFileOnly();
  }
  EXPECT_GT(failed, 3);
  env_.writesFailFrom = -1;
  const IndexFile index = ReadIndex();
  EXPECT_EQ(index.stamps.size(), 101u);
  EXPECT_EQ(index.wordLists.size(), 100u * 250 + 1);
}

// A note deleted, emptied or failing halfway through its read after the
// listing found it is not lost: a recorded one keeps its words and stamp,
// a time-named one emptied by an editor's save keeps its name, and each is
// read whole by the next refresh that finds it.
TEST_F(RefreshTest, NotesThatGoOrFailWhileTheyAreReadAreNotLost) {
  Write("gone.txt", "old gone");
  Write("emptied.txt", "old emptied");
  Run();
  Write("gone.txt", "new gone", kWritten + 60);
  Write("emptied.txt", "new emptied", kWritten + 60);
  Write("new.txt", "brand new");
  Write("note-saving.txt", "draft");
  std::string big(3 << 20, ' ');
  big.replace(0, 4, "head").append("tail");
  Write("big.txt", big);
  env_.readFailsAt[Path("big.txt")] = 1 << 20;
  env_.afterFindNotes = [this] {
    fs::remove(Native("gone.txt"));
    fs::remove(Native("new.txt"));
    ASSERT_EQ(truncate(Native("emptied.txt").c_str(), 0), 0);
    ASSERT_EQ(truncate(Native("note-saving.txt").c_str(), 0), 0);
  };
  RecordingWindow window = Run();
  EXPECT_EQ(window.words, (Words{{u"old", {u"gone.txt", u"emptied.txt"}},
                                 {u"gone", {u"gone.txt"}},
                                 {u"emptied", {u"emptied.txt"}}}));
  EXPECT_EQ(Stamps(), (std::map<std::u16string, std::u16string>{{u"gone.txt", stamp_}, {u"emptied.txt", stamp_}}));
  EXPECT_TRUE(Exists("note-saving.txt"));
  EXPECT_FALSE(Exists(".txt"));

  env_.afterFindNotes = nullptr;
  env_.readFailsAt.clear();
  Write("emptied.txt", "refilled", kWritten + 120);
  Write("note-saving.txt", "Final words", kWritten + 120);
  window = Run();
  EXPECT_EQ(window.words, (Words{{u"old", {u"emptied.txt"}},
                                 {u"gone", {}},
                                 {u"emptied", {u"emptied.txt"}},
                                 {u"refilled", {u"emptied.txt"}},
                                 {u"head", {u"big.txt"}},
                                 {u"tail", {u"big.txt"}},
                                 {u"final", {u"Final words.txt"}},
                                 {u"words", {u"Final words.txt"}}}));
}

}  // namespace
