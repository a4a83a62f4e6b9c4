// The file layer on real temporary folders: which directory entries count as
// notes, their order, and the rename and delete guarantees the refresh
// relies on so that no note is ever lost or overwritten.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <thread>
#include <string>
#include <vector>

#include "index/notes_folder.h"
#include "platform/os/env.h"
#include "platform/os/memory.h"
#include "platform/text/file_names.h"
#include "tests/support/alloc_failure.h"

// The entry of this name, when set, cannot be asked about: fstatat fails
// with EIO, as on a bad sector or a network folder that drops a request.
static std::atomic<const char*> g_statFails{nullptr};

extern "C" int fstatat(int dir, const char* path, struct stat* st, int flags) noexcept {
  using Real = int (*)(int, const char*, struct stat*, int);
  static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "fstatat"));
  const char* failing = g_statFails.load();
  if (failing != nullptr && std::strcmp(path, failing) == 0) {
    errno = EIO;
    return -1;
  }
  return real(dir, path, st, flags);
}

// The note of this path, when set, is saved anew by "an editor" right after
// the next stat of it: a new file renamed over the name, as editors save.
static std::atomic<const char*> g_savedAfterStat{nullptr};

extern "C" int stat(const char* path, struct stat* st) noexcept {
  using Real = int (*)(const char*, struct stat*);
  static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "stat"));
  const int result = real(path, st);
  const char* saved = g_savedAfterStat.load();
  if (saved != nullptr && std::strcmp(path, saved) == 0 &&
      g_savedAfterStat.compare_exchange_strong(saved, nullptr)) {
    const std::string fresh = std::string(path) + ".new";
    const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, "saved", 5) != 5 || ::close(fd) != 0 ||
        ::rename(fresh.c_str(), path) != 0) {
      std::abort();
    }
  }
  return result;
}

// Set: renameat2 fails as on a file system that cannot rename without
// replacing (NFS, 9p, some FUSE ones).
static std::atomic<bool> g_noRenameat2{false};

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to,
                         unsigned int flags) noexcept {
  using Real = int (*)(int, const char*, int, const char*, unsigned int);
  static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "renameat2"));
  if (g_noRenameat2.load()) {
    errno = EINVAL;
    return -1;
  }
  return real(fromDir, from, toDir, to, flags);
}

// Set: link fails as on a file system without hard links.
static std::atomic<bool> g_noHardLinks{false};

extern "C" int link(const char* from, const char* to) noexcept {
  using Real = int (*)(const char*, const char*);
  static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "link"));
  if (g_noHardLinks.load()) {
    errno = EPERM;
    return -1;
  }
  return real(from, to);
}

namespace {

namespace fs = std::filesystem;

// A cutoff every file's last write is before.
constexpr std::int64_t kAnyTime = std::numeric_limits<std::int64_t>::max();

class PosixEnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "scriblet-env-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    notes_ = root_ + "/notes/";
    fs::create_directory(notes_);
  }
  void TearDown() override {
    chmod(notes_.c_str(), 0755);
    fs::remove_all(root_);
  }

  // name is the file name's bytes, as Linux holds them.
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(notes_ + name, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(notes_ + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& name) {
    struct stat st;
    return lstat((notes_ + name).c_str(), &st) == 0;
  }
  std::u16string Folder() const { return FromNativeName(notes_); }
  std::u16string Path(const std::string& name) const { return FromNativeName(notes_ + name); }
  std::vector<std::u16string> Names() {
    std::vector<std::u16string> names;
    for (const NoteEntry& e : FindNotes(env_, Folder())) names.push_back(e.name);
    return names;
  }

  // Deletes the empty note name while "an editor" saves it anew right
  // after the first check found it empty.
  void DeleteAsItIsSaved(const std::string& name) {
    Write(name, "");
    const std::string path = notes_ + name;
    g_savedAfterStat = path.c_str();
    env_.DeleteIfEmpty(Path(name), kAnyTime);
    g_savedAfterStat = nullptr;
  }

  Env& env_ = Env::Default();
  std::string root_;
  std::string notes_;
};

TEST_F(PosixEnvTest, ListsNotesByUpperCasedUtf16ThenByCodeUnits) {
  // Byte order would give A [ a b; upper-casing puts '[' after the letters.
  // U+1F600 is a surrogate pair (D83D DE00), which sorts before U+FF3A.
  for (const char* name : {"b.txt", "[.txt", "a.txt", "A.txt", "\xD1\x8F.txt" /* я */,
                           "\xD0\xAF.txt" /* Я */, "\xEF\xBD\x9A.txt" /* ｚ */,
                           "\xF0\x9F\x98\x80.txt" /* 😀 */, "c.TXT"}) {
    Write(name, "x");
  }
  EXPECT_EQ(Names(), (std::vector<std::u16string>{u"A.txt", u"a.txt", u"b.txt", u"c.TXT",
                                                  u"[.txt", u"Я.txt", u"я.txt", u"😀.txt",
                                                  u"ｚ.txt"}));
}

TEST_F(PosixEnvTest, ReportsLengthPathAndWholeSecondsOfLastWrite) {
  Write("n.txt", "hello");
  Write("skip.text", "x");
  Write("skip.txt.bak", "x");
  const timespec times[2] = {{1704447000, 0}, {1704447000, 999999999}};
  ASSERT_EQ(utimensat(AT_FDCWD, (notes_ + "n.txt").c_str(), times, 0), 0);

  const std::vector<NoteEntry> found = FindNotes(env_, Folder());
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, u"n.txt");
  EXPECT_EQ(found[0].path, Path("n.txt"));
  EXPECT_EQ(found[0].length, 5u);
  EXPECT_EQ(found[0].lastWrite, 1704447000);

  // A missing folder holds nothing; one that cannot be opened (a link
  // that leads to itself) is not known to.
  ListingFacts facts;
  FindNotes(env_, Folder(), {}, &facts);
  EXPECT_TRUE(facts.whole);
  EXPECT_TRUE(FindNotes(env_, FromNativeName(root_ + "/missing/"), {}, &facts).empty());
  EXPECT_TRUE(facts.whole);
  ASSERT_EQ(symlink("loop", (root_ + "/loop").c_str()), 0);
  EXPECT_TRUE(FindNotes(env_, FromNativeName(root_ + "/loop/"), {}, &facts).empty());
  EXPECT_FALSE(facts.whole);
}

// Names are decoded one after another into the same memory: each note
// keeps its own name, length and path, whatever names came before it.
TEST_F(PosixEnvTest, EachNoteKeepsItsOwnNameAndPathHoweverLongTheOthers) {
  const char* const pieces[] = {"a", "\xD1\x8F", "\xFF", "\xF0\x9F\x98\x80"};
  std::set<std::u16string> expected;
  for (int n = 1; n <= 60; ++n) {
    std::string name;
    for (int i = 0; i < n; ++i) name += pieces[(i + n) % 4];
    Write(name + ".txt", name);  // four bytes shorter than its name
    Write(name + std::string(120, 'z') + ".skip", "x");
    expected.insert(FromNativeName(name + ".txt"));
  }
  std::set<std::u16string> names;
  for (const NoteEntry& note : FindNotes(env_, Folder())) {
    names.insert(note.name);
    EXPECT_EQ(note.path, Folder() + note.name);
    EXPECT_EQ(note.length + 4, ToNativeName(note.name).size());
  }
  EXPECT_EQ(names, expected);
}

TEST_F(PosixEnvTest, LeavesOutWhatIsNotARegularFileOrCannotBeKept) {
  Write("good.txt", "x");
  Write("a:b.txt", "x");
  ASSERT_EQ(mkfifo((notes_ + "x.txt").c_str(), 0644), 0);
  fs::create_directory(notes_ + "y.txt");
  fs::create_symlink(root_ + "/nowhere.txt", notes_ + "z.txt");

  EXPECT_EQ(Names(), std::vector<std::u16string>{u"good.txt"});

  // Opening the FIFO must neither block nor succeed; deleting leaves all be.
  EXPECT_EQ(env_.OpenForRead(Path("x.txt")), nullptr);
  EXPECT_EQ(env_.OpenForRead(Path("y.txt")), nullptr);
  EXPECT_EQ(env_.OpenForRead(Path("z.txt")), nullptr);
  for (const char* name : {"x.txt", "y.txt", "z.txt"}) {
    EXPECT_FALSE(IsNote(env_, Folder(), FromNativeName(name))) << name;
    env_.DeleteIfEmpty(Path(name), kAnyTime);
  }
  EXPECT_FALSE(IsNote(env_, Folder(), u"a:b.txt"));
  EXPECT_TRUE(IsNote(env_, Folder(), u"good.txt"));
  EXPECT_TRUE(Exists("x.txt"));
  EXPECT_TRUE(Exists("y.txt"));
  EXPECT_TRUE(Exists("z.txt"));
}

// A note the system cannot stat is not known to be gone: the listing is
// then not whole, so that the refresh keeps its record and words.
TEST_F(PosixEnvTest, ANoteThatCannotBeStattedLeavesTheListingIncomplete) {
  Write("a.txt", "apple");
  Write("b.txt", "banana");
  std::vector<std::u16string> names;
  g_statFails = "b.txt";
  const bool whole = env_.ListFiles(
      Folder(), [](const std::u16string&) { return true; },
      [&names](NoteEntry entry) { names.push_back(entry.name); });
  g_statFails = nullptr;
  EXPECT_EQ(names, std::vector<std::u16string>{u"a.txt"});
  EXPECT_FALSE(whole);
}

// A link whose target name is longer than any file system keeps is a
// dangling link like any other: it must not keep every later listing from
// being whole, or no deleted note would ever leave the index.
TEST_F(PosixEnvTest, ALinkThatLeadsNowhereLeavesTheListingWhole) {
  Write("a.txt", "apple");
  fs::create_symlink(std::string(300, 'x'), notes_ + "long.txt");
  std::vector<std::u16string> names;
  const bool whole = env_.ListFiles(
      Folder(), [](const std::u16string&) { return true; },
      [&names](NoteEntry entry) { names.push_back(entry.name); });
  EXPECT_EQ(names, std::vector<std::u16string>{u"a.txt"});
  EXPECT_TRUE(whole);
}

TEST_F(PosixEnvTest, ListsALinkToANoteAsItsTarget) {
  std::ofstream(root_ + "/outside.txt") << "abcdef";
  const timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (root_ + "/outside.txt").c_str(), times, 0), 0);
  fs::create_symlink(root_ + "/outside.txt", notes_ + "link.txt");

  const std::vector<NoteEntry> found = FindNotes(env_, Folder());
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, u"link.txt");
  EXPECT_EQ(found[0].length, 6u);
  EXPECT_EQ(found[0].lastWrite, 1600000000);
}

TEST_F(PosixEnvTest, ListsARelativeFolderFromTheWorkingDirectory) {
  Write("a.txt", "abc");
  const fs::path before = fs::current_path();
  fs::current_path(root_);
  const std::vector<NoteEntry> found = FindNotes(env_, u"notes/");
  fs::current_path(before);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].path, u"notes/a.txt");
  EXPECT_EQ(found[0].length, 3u);
}

TEST_F(PosixEnvTest, OpenedFilesReadAndWriteWholeLargeBlocks) {
  // Larger than any pipe or socket buffer: a file left non-blocking must
  // still move every byte in one call of ours.
  std::string bytes(std::size_t{4} << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
  {
    auto file = env_.OpenForWrite(Path("big.txt"));
    ASSERT_NE(file, nullptr);
    file->Write(bytes.data(), bytes.size());
    file->Close();
  }
  auto file = env_.OpenForRead(Path("big.txt"));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->GetLength(), bytes.size());
  std::string back(bytes.size() + 1, '\0');
  EXPECT_EQ(file->Read(back.data(), back.size()), bytes.size());
  back.pop_back();
  EXPECT_EQ(back, bytes);
}

TEST_F(PosixEnvTest, NamesThatAreNotUtf8RoundTrip) {
  const std::string name = "bad\xFF\xC3(.txt";
  Write(name, "text");
  const std::vector<std::u16string> names = Names();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0], u"bad\xDCFF\xDCC3(.txt");

  auto file = env_.OpenForRead(Path(name));
  ASSERT_NE(file, nullptr);
  char buf[8];
  EXPECT_EQ(file->Read(buf, sizeof buf), 4u);
  file.reset();

  EXPECT_EQ(env_.RenameNoReplace(Folder() + names[0], Folder() + u"x\xDC80.txt"),
            Env::RenameResult::done);
  EXPECT_EQ(Read("x\x80.txt"), "text");
  EXPECT_FALSE(Exists(name));
}

TEST_F(PosixEnvTest, RenameNeverReplaces) {
  Write("from.txt", "new");
  Write("to.txt", "old");
  EXPECT_EQ(env_.RenameNoReplace(Path("from.txt"), Path("to.txt")),
            Env::RenameResult::targetExists);
  EXPECT_EQ(Read("from.txt"), "new");
  EXPECT_EQ(Read("to.txt"), "old");

  EXPECT_EQ(env_.RenameNoReplace(Path("gone.txt"), Path("other.txt")),
            Env::RenameResult::failed);
  EXPECT_EQ(env_.RenameNoReplace(Path("from.txt"), Path("other.txt")),
            Env::RenameResult::done);
  EXPECT_EQ(Read("other.txt"), "new");
  EXPECT_FALSE(Exists("from.txt"));
}

TEST_F(PosixEnvTest, RenameFailuresOtherThanATakenNameSayFailed) {
  // The refresh retries numbered names only after targetExists.
  Write("from.txt", "x");
  EXPECT_EQ(env_.RenameNoReplace(Path("from.txt"), Path(std::string(300, 'n') + ".txt")),
            Env::RenameResult::failed);
  EXPECT_EQ(Read("from.txt"), "x");
}

// A folder whose file system cannot be asked is taken to keep 255 bytes.
TEST_F(PosixEnvTest, NamesInAFolderThatCannotBeAskedKeepTo255Bytes) {
  const std::u16string gone = u"./no such folder/";
  EXPECT_TRUE(env_.NameFits(gone, std::u16string(251, u'a') + u".txt"));
  EXPECT_FALSE(env_.NameFits(gone, std::u16string(252, u'a') + u".txt"));
}

TEST_F(PosixEnvTest, RenameInAReadOnlyFolderSaysFailed) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  Write("from.txt", "x");
  ASSERT_EQ(chmod(notes_.c_str(), 0555), 0);
  EXPECT_EQ(env_.RenameNoReplace(Path("from.txt"), Path("to.txt")), Env::RenameResult::failed);
}

TEST_F(PosixEnvTest, DeletesOnlyANoteThatIsStillEmptyAndWrittenBeforeTheCutoff) {
  Write("empty.txt", "");
  Write("filled.txt", "");
  ASSERT_EQ(FindNotes(env_, Folder()).size(), 2u);
  Write("filled.txt", "saved by the editor meanwhile");

  env_.DeleteIfEmpty(Path("empty.txt"), kAnyTime);
  env_.DeleteIfEmpty(Path("filled.txt"), kAnyTime);
  EXPECT_FALSE(Exists("empty.txt"));
  EXPECT_EQ(Read("filled.txt"), "saved by the editor meanwhile");

  // Truncated by an editor at 1000 s, about to be written.
  Write("young.txt", "");
  const timespec times[2] = {{1000, 500000000}, {1000, 500000000}};
  ASSERT_EQ(utimensat(AT_FDCWD, (notes_ + "young.txt").c_str(), times, 0), 0);
  env_.DeleteIfEmpty(Path("young.txt"), 1000);
  EXPECT_TRUE(Exists("young.txt"));
  env_.DeleteIfEmpty(Path("young.txt"), 1001);
  EXPECT_FALSE(Exists("young.txt"));

  // Saved the instant after it was found empty: the saved note stays, and
  // nothing else is left beside it.
  DeleteAsItIsSaved("racing.txt");
  EXPECT_EQ(Read("racing.txt"), "saved");
  EXPECT_EQ(std::distance(fs::directory_iterator(notes_), fs::directory_iterator()), 2);
}

// The name with "~" added may be taken (an editor's backup) or too long
// for the file system: the empty note still goes, and the other file stays.
TEST_F(PosixEnvTest, AnEmptyNoteGoesWhateverItsNameWithATildeWouldBe) {
  Write("backed.txt", "");
  Write("backed.txt~", "the editor's backup");
  env_.DeleteIfEmpty(Path("backed.txt"), kAnyTime);
  EXPECT_FALSE(Exists("backed.txt"));
  EXPECT_EQ(Read("backed.txt~"), "the editor's backup");

  // As long as a name may be, as the refresh names notes after their words.
  const std::string longest = std::string(251, 'w') + ".txt";
  Write(longest, "");
  ASSERT_TRUE(Exists(longest));
  env_.DeleteIfEmpty(Path(longest), kAnyTime);
  EXPECT_FALSE(Exists(longest));
}

// Saved the instant after it was found empty while its name with "~" is
// taken (an editor's backup): the saved note stays.
TEST_F(PosixEnvTest, ANoteSavedWhileItsTildeNameIsTakenStays) {
  Write("backed.txt~", "the editor's backup");
  DeleteAsItIsSaved("backed.txt");
  EXPECT_EQ(Read("backed.txt"), "saved");
  EXPECT_EQ(Read("backed.txt~"), "the editor's backup");
}

// Where a rename cannot refuse to replace, the empty note is still deleted,
// and a note saved over it meanwhile still stays.
TEST_F(PosixEnvTest, AnEmptyNoteOnAFileSystemWithoutRenameat2) {
  g_noRenameat2 = true;
  DeleteAsItIsSaved("racing.txt");
  EXPECT_EQ(Read("racing.txt"), "saved");

  // Nor any hard links: the same, and nothing is left under another name.
  g_noHardLinks = true;
  Write("empty.txt", "");
  env_.DeleteIfEmpty(Path("empty.txt"), kAnyTime);
  DeleteAsItIsSaved("racing.txt");
  g_noHardLinks = false;
  g_noRenameat2 = false;
  EXPECT_FALSE(Exists("empty.txt"));
  EXPECT_EQ(Read("racing.txt"), "saved");
  EXPECT_EQ(std::distance(fs::directory_iterator(notes_), fs::directory_iterator()), 1);
}

// Named only when closed; renamed over an index, it takes the access the
// owner gave that one: the index holds every word of every note.
TEST_F(PosixEnvTest, ATempFileGetsItsNameOnlyWhenClosedAndTheAccessOfWhatItReplaces) {
  std::u16string path;
  {
    auto file = env_.CreateTempFile(Folder(), &path);
    ASSERT_NE(file, nullptr);
    file->Write("half an index", 13);
    // Dropped as a killed run would drop it: nothing may stay behind.
  }
  EXPECT_TRUE(fs::is_empty(notes_));
  EXPECT_TRUE(path.empty());

  auto file = env_.CreateTempFile(Folder(), &path);
  ASSERT_NE(file, nullptr);
  file->Write("index", 5);
  file->Close();
  const std::string name = ToNativeName(path).substr(notes_.size());
  EXPECT_TRUE(name.starts_with("notes.ndx.~") && name.size() == 17) << name;
  EXPECT_EQ(Read(name), "index");
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(fs::status(notes_ + name).permissions(),
            static_cast<fs::perms>(0666 & ~mask));

  Write("notes.ndx", "old");
  const fs::perms ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
  fs::permissions(notes_ + "notes.ndx", ownerOnly);
  ASSERT_TRUE(env_.RenameReplacing(path, Path("notes.ndx")));
  EXPECT_EQ(Read("notes.ndx"), "index");
  EXPECT_EQ(fs::status(notes_ + "notes.ndx").permissions(), ownerOnly);
}

// Several megabytes in uneven pieces, so that writing out starts part way
// through more than once: the file must hold every byte, in order.
TEST_F(PosixEnvTest, ALargeTempFileHoldsEveryByteWritten) {
  std::string bytes(std::size_t{7} << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4099);
  std::u16string path;
  auto file = env_.CreateTempFile(Folder(), &path);
  ASSERT_NE(file, nullptr);
  for (std::size_t at = 0, piece = 1; at < bytes.size(); at += piece, piece = piece * 3 + 1) {
    piece = std::min(piece, bytes.size() - at);
    file->Write(bytes.data() + at, piece);
  }
  file->Flush();
  file->Close();
  EXPECT_TRUE(Read(ToNativeName(path).substr(notes_.size())) == bytes);
}

TEST_F(PosixEnvTest, DroppingCachedBytesLeavesTheFileAsItWas) {
  Write("notes.ndx", "an index about to be replaced");
  env_.DropCachedBytes(Path("notes.ndx"));
  env_.DropCachedBytes(Path("missing.ndx"));
  EXPECT_EQ(Read("notes.ndx"), "an index about to be replaced");
  EXPECT_FALSE(Exists("missing.ndx"));
}

// Counts this process's open descriptors.
std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

TEST_F(PosixEnvTest, ExhaustedMemoryWhileOpeningLeavesNoDescriptorOpen) {
  Write("a.txt", "apple");
  const std::u16string note = Path("a.txt");
  const std::u16string folder = Folder();
  const std::size_t before = OpenDescriptors();
  for (int after = 0;; ++after) {
    bool fired = false;
    try {
      FailAllocation fail(after);
      std::u16string path;
      { auto read = env_.OpenForRead(note); }
      { auto written = env_.OpenForWrite(Path("b.txt")); }
      { auto temp = env_.CreateTempFile(folder, &path); }
      fired = fail.Fired();
    } catch (const std::bad_alloc&) {
      fired = true;
    }
    ASSERT_EQ(OpenDescriptors(), before) << "after " << after << " allocations";
    if (!fired) break;
  }
}

TEST_F(PosixEnvTest, RemovesOnlyStaleTempIndexFiles) {
  for (const char* name : {"notes.ndx.~AbC129", "notes.ndx.~abc", "notes.ndx.~AbC1234",
                           "notes.ndx.~AbC12-", "notes.ndx", "xnotes.ndx.~AbC123", "notes.ndx.backup",
                           "a.txt"}) {
    Write(name, "x");
  }
  fs::create_directory(notes_ + "notes.ndx.~Dir123");
  Write("../kept", "outside");
  fs::create_symlink(root_ + "/kept", notes_ + "notes.ndx.~Lnk123");

  env_.RemoveStaleTempFiles(Folder());
  EXPECT_FALSE(Exists("notes.ndx.~AbC129"));
  for (const char* name : {"notes.ndx.~abc", "notes.ndx.~AbC1234", "notes.ndx.~AbC12-", "notes.ndx",
                           "xnotes.ndx.~AbC123", "notes.ndx.backup", "a.txt", "notes.ndx.~Dir123",
                           "notes.ndx.~Lnk123"}) {
    EXPECT_TRUE(Exists(name)) << name;
  }
  EXPECT_TRUE(fs::exists(root_ + "/kept"));
}

TEST_F(PosixEnvTest, FolderLockTakesTurnsAndIsReleasedWithItsObject) {
  auto first = env_.LockFolder(Folder(), [] {});
  ASSERT_NE(first, nullptr);
  std::atomic<bool> second_held{false};
  std::atomic<int> waits{0};
  std::thread other([&] {
    auto second = env_.LockFolder(Folder(), [&] { ++waits; });
    second_held = second != nullptr;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(second_held);
  EXPECT_GT(waits, 0);  // the wait can be shown
  first.reset();
  other.join();
  EXPECT_TRUE(second_held);

  // Another process taking the same lock sees it free again.
  const int fd = open(notes_.c_str(), O_RDONLY | O_DIRECTORY);
  EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  close(fd);
}

TEST_F(PosixEnvTest, FolderLockNeverWaitsOnAFolderItCannotLock) {
  EXPECT_EQ(env_.LockFolder(Folder() + u"missing/", [] {}), nullptr);
  ASSERT_EQ(chmod(notes_.c_str(), 0555), 0);
  EXPECT_NE(env_.LockFolder(Folder(), [] {}), nullptr);  // read-only still locks
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(notes_.c_str(), 0333), 0);
    EXPECT_EQ(env_.LockFolder(Folder(), [] {}), nullptr);
  }
}

TEST_F(PosixEnvTest, AbsolutePathKeepsEveryLevel) {
  const std::string cwd = fs::current_path().string();
  EXPECT_EQ(env_.AbsolutePath(u"a/../b/n.txt"), FromNativeName(cwd + "/a/../b/n.txt"));
  EXPECT_EQ(env_.AbsolutePath(u"/x/../y"), u"/x/../y");
}

// Backing memory ahead keeps every byte, its edges' pages' too, and backs
// the whole pages among them.
TEST(PrepareToWriteTest, KeepsWhatTheBytesHoldAndBacksTheirPages) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t size = 8 * page;
  auto* const bytes =
      static_cast<unsigned char*>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(bytes, MAP_FAILED);
  for (std::size_t i = 0; i < page + 100; ++i) bytes[i] = static_cast<unsigned char>(i % 251 + 1);
  bytes[6 * page + 5] = 7;
  PrepareToWrite(bytes + 100, 7 * page - 100 + 50);  // pages 1 to 6 whole
  for (std::size_t i = 0; i < page + 100; ++i) ASSERT_EQ(bytes[i], i % 251 + 1) << i;
  for (std::size_t i = page + 100; i < size; ++i) ASSERT_EQ(bytes[i], i == 6 * page + 5 ? 7 : 0) << i;
  std::vector<unsigned char> resident(8);
  ASSERT_EQ(mincore(bytes, size, resident.data()), 0);
  if (madvise(bytes + 7 * page, page, MADV_POPULATE_WRITE) == 0) {
    for (std::size_t p = 1; p <= 6; ++p) EXPECT_TRUE(resident[p] & 1) << p;
  }
  munmap(bytes, size);
}

}  // namespace
