// The Windows file layer on real temporary folders: which entries count as
// notes, their order whatever order the drive lists them in, and the
// rename and delete guarantees the refresh relies on.

#include "platform/os/windows_api.h"
#include <sddl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "index/notes_folder.h"
#include "platform/os/access_list_windows.h"
#include "platform/os/env.h"
#include "tests/support/alloc_failure.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr wchar_t kHoldLockVariable[] = L"SCRIBLET_TEST_HOLD_LOCK";

// Started again by AKilledRunHandsTheLockOn with the variable naming a
// folder, this program only takes that folder's lock, says so with a file
// "held" in it and waits to be killed.
[[maybe_unused]] const bool kLockHolder = [] {
  wchar_t folder[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(kHoldLockVariable, folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  const auto lock = Env::Default().LockFolder(FromWide(folder), [] {});
  if (lock == nullptr) ExitProcess(2);
  std::ofstream(fs::path(folder) / "held") << "x";
  Sleep(INFINITE);
  return true;
}();

// A copy of this program named notepad.exe, as if planted for the default
// editor, only records that it ran, in "ran.txt" beside itself.
[[maybe_unused]] const bool kPlantedEditor = [] {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  const fs::path path(self);
  if (_wcsicmp(path.filename().c_str(), L"notepad.exe") != 0) return false;
  std::ofstream(path.parent_path() / "ran.txt") << "x";
  ExitProcess(0);
}();

// The programs named name that this process started and that still run,
// opened to be ended, with their full paths.
std::vector<std::pair<HANDLE, std::wstring>> RunningChildren(const wchar_t* name) {
  std::vector<std::pair<HANDLE, std::wstring>> children;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return children;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID != GetCurrentProcessId() ||
        _wcsicmp(entry.szExeFile, name) != 0) {
      continue;
    }
    const HANDLE process = OpenProcess(
        PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
        entry.th32ProcessID);
    if (process == nullptr) continue;
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process, 0, path, &size)) size = 0;
    children.emplace_back(process, std::wstring(path, size));
  }
  CloseHandle(snapshot);
  return children;
}

// Whether another thread's LockFolder(folder) gets the lock within ms. A
// locker still waiting then is left behind, so that a lock that is never
// let go fails the test instead of hanging it.
bool LocksWithin(const std::u16string& folder, int ms) {
  const auto result = std::make_shared<std::promise<bool>>();
  std::future<bool> locked = result->get_future();
  std::thread([folder, result] {
    result->set_value(Env::Default().LockFolder(folder, [] {}) != nullptr);
  }).detach();
  return locked.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready &&
         locked.get();
}

// The access list (DACL) of the file at path as text, empty when it cannot
// be read.
std::wstring AccessList(const std::wstring& path) {
  DWORD size = 0;
  GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  std::vector<std::uint64_t> descriptor(size / 8 + 1);  // aligned
  wchar_t* text = nullptr;
  if (!GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size,
                        &size) ||
      !ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return {};
  }
  std::wstring list = text;
  LocalFree(text);
  return list;
}

// Leaves the file at path to the user running the test alone, cut off from
// what its folder grants.
void MakePrivate(const std::wstring& path) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  std::vector<std::uint64_t> user(64);
  DWORD size = 0;
  const BOOL known = GetTokenInformation(token, TokenUser, user.data(),
                                         static_cast<DWORD>(user.size() * 8), &size);
  CloseHandle(token);
  ASSERT_TRUE(known);
  wchar_t* sid = nullptr;
  ASSERT_TRUE(ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid));
  const std::wstring list = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
  LocalFree(sid);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(list.c_str(), SDDL_REVISION_1,
                                                                   &descriptor, nullptr));
  const BOOL set = SetFileSecurityW(
      path.c_str(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, descriptor);
  LocalFree(descriptor);
  ASSERT_TRUE(set);
}

class WindowsEnvTest : public ::testing::Test {
 protected:
  fs::path At(const std::u16string& name) const { return dir_.path() / fs::path(name); }
  void Write(const std::u16string& name, const std::string& bytes) {
    std::ofstream(At(name), std::ios::binary) << bytes;
  }
  std::string Read(const std::u16string& name) {
    std::ifstream in(At(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::u16string& name) { return fs::exists(At(name)); }
  // Waits (at most ten seconds) until no process holds one of names open,
  // as a batch file that stands in for the editor does with itself and
  // with what it writes until it ends: the folder cannot be removed before.
  void WaitUntilClosed(std::initializer_list<const char16_t*> names) {
    const auto closed = [this](const char16_t* name) {
      const HANDLE file = CreateFileW(At(name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_SHARING_VIOLATION;
      CloseHandle(file);
      return true;
    };
    for (int i = 0; i < 200 && !std::all_of(names.begin(), names.end(), closed); ++i) Sleep(50);
  }
  std::u16string Path(const std::u16string& name) const { return dir_.folder() + name; }
  std::vector<std::u16string> Names() {
    std::vector<std::u16string> names;
    for (const NoteEntry& e : FindNotes(env_, dir_.folder())) names.push_back(e.name);
    return names;
  }
  void SetLastWrite(const std::u16string& name, std::int64_t unixSeconds, int ticks) {
    const HANDLE file = CreateFileW(At(name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const auto value =
        static_cast<std::uint64_t>(unixSeconds * 10000000 + 116444736000000000 + ticks);
    const FILETIME time{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
  }

  Env& env_ = Env::Default();
  TempDir dir_;
};

TEST_F(WindowsEnvTest, ListsNotesInTheSameOrderAsLinux) {
  // Case-insensitive names: "A.txt" and "a.txt" cannot both exist here.
  // U+1F600 is a surrogate pair (D83D DE00), which sorts before U+FF3A.
  for (const char16_t* name : {u"b.txt", u"[.txt", u"a.txt", u"Я.txt", u"😀.txt", u"ｚ.txt",
                               u"c.TXT", u"_.txt"}) {
    Write(name, "x");
  }
  EXPECT_EQ(Names(), (std::vector<std::u16string>{u"a.txt", u"b.txt", u"c.TXT", u"[.txt",
                                                  u"_.txt", u"Я.txt", u"😀.txt", u"ｚ.txt"}));
}

TEST_F(WindowsEnvTest, ReportsLengthPathAndWholeSecondsOfLastWrite) {
  Write(u"n.txt", "hello");
  Write(u"skip.text", "x");
  Write(u"skip.txt.bak", "x");
  fs::create_directory(At(u"folder.txt"));
  SetLastWrite(u"n.txt", 1704447000, 9999999);

  const std::vector<NoteEntry> found = FindNotes(env_, dir_.folder());
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, u"n.txt");
  EXPECT_EQ(found[0].path, Path(u"n.txt"));
  EXPECT_EQ(found[0].length, 5u);
  EXPECT_EQ(found[0].lastWrite, 1704447000);

  SetLastWrite(u"n.txt", -1, 5000000);  // half a second before 1970
  EXPECT_EQ(FindNotes(env_, dir_.folder())[0].lastWrite, -1);

  ListingFacts facts;
  EXPECT_TRUE(FindNotes(env_, dir_.folder() + u"missing/", {}, &facts).empty());
  EXPECT_TRUE(facts.whole) << "a missing folder holds nothing";
  EXPECT_EQ(env_.OpenForRead(Path(u"folder.txt")), nullptr);
  EXPECT_EQ(env_.OpenForRead(Path(u"missing.txt")), nullptr);
}

TEST_F(WindowsEnvTest, ReadsWhatAnotherProgramHoldsOpen) {
  Write(u"open.txt", "text");
  std::ofstream editor(At(u"open.txt"), std::ios::app);
  auto file = env_.OpenForRead(Path(u"open.txt"));
  ASSERT_NE(file, nullptr);
  char buf[8];
  EXPECT_EQ(file->Read(buf, sizeof buf), 4u);
}

TEST_F(WindowsEnvTest, RenameNeverReplaces) {
  Write(u"from.txt", "new");
  Write(u"to.txt", "old");
  EXPECT_EQ(env_.RenameNoReplace(Path(u"from.txt"), Path(u"TO.txt")),
            Env::RenameResult::targetExists);
  EXPECT_EQ(Read(u"from.txt"), "new");
  EXPECT_EQ(Read(u"to.txt"), "old");

  EXPECT_EQ(env_.RenameNoReplace(Path(u"gone.txt"), Path(u"other.txt")),
            Env::RenameResult::failed);
  EXPECT_EQ(env_.RenameNoReplace(Path(u"from.txt"), Path(u"Другое.txt")),
            Env::RenameResult::done);
  EXPECT_EQ(Read(u"Другое.txt"), "new");
  EXPECT_FALSE(Exists(u"from.txt"));

  // Device names take no file, whatever follows them: a note whose first
  // word is "aux" keeps its name at once instead of trying every number.
  int device = 0;
  for (const char16_t* name : {u"aux.txt", u"Con.0.txt", u"nul .txt", u"COM1.txt", u"lpt9.12.txt"}) {
    EXPECT_EQ(env_.RenameNoReplace(Path(u"Другое.txt"), Path(name)), Env::RenameResult::failed)
        << "device name " << device++;
  }
  EXPECT_EQ(env_.RenameNoReplace(Path(u"Другое.txt"), Path(u"auxiliary.txt")),
            Env::RenameResult::done);
}

// The program is not long-path aware: Windows opens and renames no path of
// MAX_PATH characters or more, so a note named after its first words in a
// deep folder must get a name short enough for its path, not keep its
// time name because the only name tried was too long (Wine takes any length).
TEST_F(WindowsEnvTest, ANewNameFitsOnlyWhenItsPathStaysWithinMaxPath) {
  const std::u16string folder = u"C:\\" + std::u16string(196, u'f') + u"\\";
  EXPECT_TRUE(env_.NameFits(folder, u"short name.txt"));
  EXPECT_FALSE(env_.NameFits(folder, std::u16string(100, u'n') + u".txt"));
}

TEST_F(WindowsEnvTest, DeletesOnlyANoteThatIsStillEmptyAndOldEnough) {
  Write(u"empty.txt", "");
  Write(u"filled.txt", "");
  Write(u"just truncated.txt", "");
  fs::create_directory(At(u"dir.txt"));
  ASSERT_EQ(FindNotes(env_, dir_.folder()).size(), 3u);
  Write(u"filled.txt", "saved by the editor meanwhile");
  const std::int64_t minuteAgo = env_.Now() - 60;
  for (const char16_t* name : {u"empty.txt", u"filled.txt"}) SetLastWrite(name, minuteAgo - 1, 0);
  SetLastWrite(u"just truncated.txt", minuteAgo, 0);

  for (const char16_t* name : {u"empty.txt", u"filled.txt", u"just truncated.txt", u"dir.txt"}) {
    env_.DeleteIfEmpty(Path(name), minuteAgo);
  }
  EXPECT_FALSE(Exists(u"empty.txt"));
  EXPECT_EQ(Read(u"filled.txt"), "saved by the editor meanwhile");
  EXPECT_TRUE(Exists(u"just truncated.txt"));
  EXPECT_TRUE(Exists(u"dir.txt"));
}

// Listed as its target, a link to an empty old note is still no note of
// the folder's own to delete; the target is not touched either.
TEST_F(WindowsEnvTest, DeletesNoLinkToAnEmptyNote) {
  Write(u"target.txt", "");
  const std::int64_t minuteAgo = env_.Now() - 60;
  SetLastWrite(u"target.txt", minuteAgo - 1, 0);
  const auto isLink = [this] {
    const DWORD attributes = GetFileAttributesW(At(u"link.txt").c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  };
  // Wine reports success and makes nothing.
  CreateSymbolicLinkW(At(u"link.txt").c_str(), At(u"target.txt").c_str(),
                      SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  if (!isLink()) GTEST_SKIP() << "no symbolic link could be made";
  env_.DeleteIfEmpty(Path(u"link.txt"), minuteAgo);
  EXPECT_TRUE(isLink());
  EXPECT_TRUE(Exists(u"target.txt"));
}

TEST_F(WindowsEnvTest, TellsNotesFromOtherEntries) {
  Write(u"a.TXT", "x");
  Write(u"b.md", "x");
  fs::create_directory(At(u"dir.txt"));
  fs::create_directory(At(u"sub"));
  Write(u"sub\\c.txt", "x");
  EXPECT_TRUE(IsNote(env_, dir_.folder(), u"a.TXT"));
  for (const char16_t* name : {u"b.md", u"dir.txt", u"gone.txt", u"sub\\c.txt", u"sub/c.txt",
                               u"a.TXT:x.txt"}) {
    EXPECT_FALSE(IsNote(env_, dir_.folder(), name)) << fs::path(name).string();
  }
}

TEST_F(WindowsEnvTest, GivesTheLengthOfAnOpenFile) {
  Write(u"a.txt", "12345");
  auto file = env_.OpenForRead(Path(u"a.txt"));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->GetLength(), 5u);
}

TEST_F(WindowsEnvTest, RemovesOnlyLeftoverTemporaryIndexFiles) {
  for (const char16_t* name : {u"notes.ndx.~a1B2c3", u"notes.ndx.~zzzzzz", u"notes.ndx",
                               u"notes.ndx.~abc", u"notes.ndx.~abcdefg", u"notes.ndx.~ab-def",
                               u"notes.ndx.backup", u"note.txt"}) {
    Write(name, "x");
  }
  fs::create_directory(At(u"notes.ndx.~folder"));
  env_.RemoveStaleTempFiles(dir_.folder());
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir_.path())) {
    left.push_back(e.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"note.txt", "notes.ndx", "notes.ndx.backup",
                                            "notes.ndx.~ab-def", "notes.ndx.~abc",
                                            "notes.ndx.~abcdefg", "notes.ndx.~folder"}));
}

TEST_F(WindowsEnvTest, LocksAFolderHoweverItIsSpelt) {
  auto lock = env_.LockFolder(dir_.folder(), [] {});
  ASSERT_NE(lock, nullptr);
  // Another run, on another thread as another process would be, waits
  // for the same folder even when it is spelt otherwise.
  std::u16string other = dir_.folder();
  for (char16_t& c : other) {
    if (c == u'\\') c = u'/';
    else if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  std::atomic<bool> taken{false};
  std::thread second([&] {
    auto again = env_.LockFolder(other, [] {});
    EXPECT_NE(again, nullptr);
    taken = true;
  });
  Sleep(200);
  EXPECT_FALSE(taken);
  lock.reset();
  second.join();
  EXPECT_TRUE(taken);

  EXPECT_EQ(env_.LockFolder(Path(u"missing\\"), [] {}), nullptr);
  Write(u"file.txt", "x");
  EXPECT_EQ(env_.LockFolder(Path(u"file.txt\\"), [] {}), nullptr);
}

// A folder's short (8.3) name is one more spelling of it, as a program that
// hands on short paths may start a run with.
TEST_F(WindowsEnvTest, LocksAFolderReachedByItsShortName) {
  wchar_t shortPath[MAX_PATH];
  const DWORD length = GetShortPathNameW(dir_.path().c_str(), shortPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || _wcsicmp(shortPath, dir_.path().c_str()) == 0) {
    GTEST_SKIP() << "no short names here";
  }
  auto lock = env_.LockFolder(dir_.folder(), [] {});
  ASSERT_NE(lock, nullptr);
  EXPECT_FALSE(LocksWithin(FromWide(shortPath) + u"\\", 200))
      << "the same folder under its short name";
}

TEST_F(WindowsEnvTest, ALockLetGoOnAnotherThreadLetsTheNextRunIn) {
  // As a refresh that saves beside the open window: taken on the window's
  // thread, which lives on, and let go on the save's.
  auto lock = env_.LockFolder(dir_.folder(), [] {});
  ASSERT_NE(lock, nullptr);
  EXPECT_FALSE(LocksWithin(dir_.folder(), 200));
  std::thread([&lock] { lock.reset(); }).join();
  EXPECT_TRUE(LocksWithin(dir_.folder(), 10000));
}

TEST_F(WindowsEnvTest, AKilledRunHandsTheLockOn) {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(self) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(SetEnvironmentVariableW(kHoldLockVariable, Wide(dir_.folder())));
  const BOOL started = CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                      nullptr, nullptr, &startup, &child);
  SetEnvironmentVariableW(kHoldLockVariable, nullptr);
  ASSERT_TRUE(started);
  for (int i = 0; i < 400 && !Exists(u"held"); ++i) Sleep(50);
  const bool held = Exists(u"held");
  if (held) {
    EXPECT_FALSE(LocksWithin(dir_.folder(), 200));
  }
  TerminateProcess(child.hProcess, 1);
  WaitForSingleObject(child.hProcess, INFINITE);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  ASSERT_TRUE(held);
  EXPECT_TRUE(LocksWithin(dir_.folder(), 10000));
}

TEST_F(WindowsEnvTest, MakesRelativePathsAbsolute) {
  EXPECT_EQ(env_.AbsolutePath(u"C:\\notes\\a.txt"), u"C:\\notes\\a.txt");
  EXPECT_EQ(env_.AbsolutePath(u"\\\\server\\share\\a.txt"), u"\\\\server\\share\\a.txt");
  const fs::path before = fs::current_path();
  fs::current_path(dir_.path());
  const std::u16string absolute = env_.AbsolutePath(u"sub\\a.txt");
  fs::current_path(before);
  EXPECT_EQ(fs::path(absolute), dir_.path() / "sub" / "a.txt");
}

TEST_F(WindowsEnvTest, TempFileIsNewAndReplacesTheTarget) {
  Write(u"notes.ndx", "old");
  std::u16string first, second;
  auto a = env_.CreateTempFile(dir_.folder(), &first);
  auto b = env_.CreateTempFile(dir_.folder(), &second);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(first.rfind(dir_.folder() + u"notes.ndx.~", 0), 0u);
  a->Write("new", 3);
  a->Flush();
  a->Close();
  b.reset();
  EXPECT_TRUE(env_.RenameReplacing(first, Path(u"notes.ndx")));
  EXPECT_EQ(Read(u"notes.ndx"), "new");
  EXPECT_TRUE(env_.RemoveFile(second));
  EXPECT_EQ(Names(), std::vector<std::u16string>{});
}

TEST_F(WindowsEnvTest, ANewIndexKeepsTheAccessListOfTheOneItReplaces) {
  Write(u"notes.ndx", "old");
  Write(u"notes.ndx.~a1b2c3", "new");
  const std::wstring inherited = AccessList(At(u"notes.ndx.~a1b2c3"));
  MakePrivate(At(u"notes.ndx"));
  const std::wstring own = AccessList(At(u"notes.ndx"));
  if (own == inherited) GTEST_SKIP() << "no access list of a file's own here";
  ASSERT_TRUE(env_.RenameReplacing(Path(u"notes.ndx.~a1b2c3"), Path(u"notes.ndx")));
  EXPECT_EQ(Read(u"notes.ndx"), "new");
  EXPECT_EQ(AccessList(At(u"notes.ndx")), own);
}

// A hidden (or system) index stays so after each save, though the new one
// is made plain; a visible one stays visible.
TEST_F(WindowsEnvTest, ANewIndexIsHiddenWhereTheOneItReplacesWas) {
  constexpr DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  for (const DWORD attributes :
       {DWORD{FILE_ATTRIBUTE_HIDDEN}, kept, DWORD{FILE_ATTRIBUTE_NORMAL}}) {
    SetFileAttributesW(At(u"notes.ndx").c_str(), FILE_ATTRIBUTE_NORMAL);
    Write(u"notes.ndx", "old");
    Write(u"notes.ndx.~a1b2c3", "new");
    ASSERT_TRUE(SetFileAttributesW(At(u"notes.ndx").c_str(), attributes));
    if ((GetFileAttributesW(At(u"notes.ndx").c_str()) & kept) != (attributes & kept)) {
      GTEST_SKIP() << "the file system keeps no such attributes";
    }
    ASSERT_TRUE(env_.RenameReplacing(Path(u"notes.ndx.~a1b2c3"), Path(u"notes.ndx")));
    EXPECT_EQ(Read(u"notes.ndx"), "new");
    EXPECT_EQ(GetFileAttributesW(At(u"notes.ndx").c_str()) & kept, attributes & kept)
        << attributes;
  }
}

TEST(AccessListTest, TellsAListOfTheFilesOwnFromOneItInherits) {
  const auto own = [](const wchar_t* list) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(list, SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    const bool result = descriptor != nullptr && HasOwnAccess(descriptor);
    LocalFree(descriptor);
    return result;
  };
  EXPECT_FALSE(own(L"D:AI(A;ID;FA;;;SY)(A;ID;FR;;;WD)"));
  EXPECT_TRUE(own(L"D:AI(A;ID;FA;;;SY)(D;;FR;;;WD)"));
  EXPECT_TRUE(own(L"D:PAI(A;;FA;;;SY)"));
  // No list at all lets everyone in. Built by hand: Wine's parser makes
  // "NO_ACCESS_CONTROL" an empty list, which lets no one in.
  SECURITY_DESCRIPTOR everyone{};
  ASSERT_TRUE(InitializeSecurityDescriptor(&everyone, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&everyone, TRUE, nullptr, FALSE));
  EXPECT_TRUE(HasOwnAccess(&everyone));
}

// Missing, read-only or hidden, a target is replaced exactly when a plain
// replacing rename replaces it.
TEST_F(WindowsEnvTest, ReplacesWhereAPlainRenameWould) {
  const auto prepare = [&](const std::u16string& target, DWORD attributes) {
    Write(target + u".new", "new");
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    Write(target, "old");
    EXPECT_TRUE(SetFileAttributesW(At(target).c_str(), attributes));
  };
  for (const DWORD attributes :
       {DWORD{INVALID_FILE_ATTRIBUTES}, DWORD{FILE_ATTRIBUTE_READONLY},
        DWORD{FILE_ATTRIBUTE_HIDDEN}}) {
    prepare(u"plain", attributes);
    prepare(u"ours", attributes);
    const bool plain =
        MoveFileExW(At(u"plain.new").c_str(), At(u"plain").c_str(), MOVEFILE_REPLACE_EXISTING);
    EXPECT_EQ(env_.RenameReplacing(Path(u"ours.new"), Path(u"ours")), plain) << attributes;
    EXPECT_EQ(Read(u"ours"), plain ? "new" : "old") << attributes;
    EXPECT_EQ(Exists(u"ours.new"), !plain) << attributes;
    for (const char16_t* name : {u"plain", u"plain.new", u"ours", u"ours.new"}) {
      SetFileAttributesW(At(name).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(At(name).c_str());
    }
  }
}

TEST_F(WindowsEnvTest, CreatesDirectoriesAndOpensForWriteKeepingBytes) {
  env_.MakeDirectory(Path(u"a"));
  env_.MakeDirectory(Path(u"a/b"));
  EXPECT_TRUE(fs::is_directory(At(u"a") / "b"));

  Write(u"keep.txt", "abc");
  auto file = env_.OpenForWrite(Path(u"keep.txt"));
  ASSERT_NE(file, nullptr);
  file->Write("X", 1);
  file->Close();
  EXPECT_EQ(Read(u"keep.txt"), "Xbc");
  EXPECT_NE(env_.OpenForWrite(Path(u"new.txt")), nullptr);
  EXPECT_TRUE(Exists(u"new.txt"));
}

// A second new note in the same second opens the first one's file again,
// which an editor may still hold open for writing (sharing it).
TEST_F(WindowsEnvTest, OpensForWriteWhatAnotherProgramHoldsOpenForWriting) {
  Write(u"note.txt", "typed");
  const HANDLE editor = CreateFileW(At(u"note.txt").c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(editor, INVALID_HANDLE_VALUE);
  auto file = env_.OpenForWrite(Path(u"note.txt"));
  EXPECT_NE(file, nullptr);
  file.reset();
  CloseHandle(editor);
  EXPECT_EQ(Read(u"note.txt"), "typed");
}

TEST_F(WindowsEnvTest, StartsTheEditorOnTheQuotedPathInTheFolder) {
  // A batch file stands in for the editor: it records its first argument,
  // unquoted, and its working directory.
  std::ofstream(At(u"editor.bat"), std::ios::binary)
      << "@echo %~1>\"%~dp0record.txt\"\r\n@cd>>\"%~dp0record.txt\"\r\n";
  fs::create_directory(At(u"my notes"));
  const std::u16string folder = dir_.path().u16string() + u"\\my notes";
  _wputenv_s(L"SCRIBLET_EDITOR", At(u"editor.bat").c_str());
  EXPECT_TRUE(env_.StartEditor(folder + u"\\a b.txt", folder));
  _wputenv_s(L"SCRIBLET_EDITOR", L"");

  // Not waited for: the record is complete once the editor has run.
  const auto lines = [&] {
    const std::string record = Read(u"record.txt");
    return std::count(record.begin(), record.end(), '\n');
  };
  for (int i = 0; i < 200 && lines() < 2; ++i) Sleep(50);
  WaitUntilClosed({u"record.txt", u"editor.bat"});
  const fs::path note(folder + u"\\a b.txt");
  EXPECT_EQ(Read(u"record.txt"),
            note.string() + "\r\n" + fs::path(folder).string() + "\r\n");
}

TEST_F(WindowsEnvTest, ReportsAnEditorThatCannotBeStarted) {
  _wputenv_s(L"SCRIBLET_EDITOR", At(u"no such editor.exe").c_str());
  EXPECT_FALSE(env_.StartEditor(Path(u"a.txt"), dir_.folder()));
  _wputenv_s(L"SCRIBLET_EDITOR", L"");
}

// The editor is looked for from where the program was started, on the PATH
// and among the registered applications, as the shell finds them: never in
// the notes folder, where it runs, and which is anyone's who can write a
// note there.
TEST_F(WindowsEnvTest, NeverTakesTheEditorFromTheNotesFolder) {
  fs::create_directories(At(u"notes\\tools"));
  fs::create_directory(At(u"bin"));
  fs::create_directory(At(u"apps"));
  // Each copy records that it ran, in its own folder.
  for (const char16_t* name : {u"notes\\only.bat", u"notes\\tools\\only.bat",
                               u"notes\\both.bat", u"bin\\both.bat", u"apps\\registered.bat"}) {
    std::ofstream(At(name), std::ios::binary) << "@echo x>\"%~dp0ran.txt\"\r\n";
  }
  const wchar_t* const registered =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\scriblet-registered.exe";
  const std::wstring target = At(u"apps\\registered.bat").wstring();
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, registered, nullptr, REG_SZ, target.c_str(),
                            static_cast<DWORD>((target.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  const std::u16string folder = dir_.folder() + u"notes\\";
  const std::wstring path = _wgetenv(L"PATH") != nullptr ? _wgetenv(L"PATH") : L"";
  _wputenv_s(L"PATH", (At(u"bin").wstring() + L";" + path).c_str());
  const fs::path before = fs::current_path();
  fs::current_path(dir_.path());
  std::vector<bool> started;
  for (const wchar_t* editor :
       {L"only.bat", L"tools\\only.bat", L"both.bat", L"scriblet-registered"}) {
    _wputenv_s(L"SCRIBLET_EDITOR", editor);
    started.push_back(env_.StartEditor(folder + u"a.txt", folder));
  }
  _wputenv_s(L"SCRIBLET_EDITOR", L"");
  fs::current_path(before);
  _wputenv_s(L"PATH", path.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, registered);

  EXPECT_EQ(started, (std::vector<bool>{false, false, true, true}));
  for (int i = 0; i < 200 && !(Exists(u"bin\\ran.txt") && Exists(u"apps\\ran.txt")); ++i) {
    Sleep(50);
  }
  WaitUntilClosed({u"bin\\ran.txt", u"bin\\both.bat", u"apps\\ran.txt", u"apps\\registered.bat"});
  EXPECT_TRUE(Exists(u"bin\\ran.txt"));
  EXPECT_TRUE(Exists(u"apps\\ran.txt"));
  EXPECT_FALSE(Exists(u"notes\\ran.txt"));
  EXPECT_FALSE(Exists(u"notes\\tools\\ran.txt"));
}

// The default editor is the system's notepad, never a notepad.exe in the
// directory the program was started in, which may be the notes folder.
TEST_F(WindowsEnvTest, TheDefaultEditorIsNeverTakenFromTheCurrentDirectory) {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  ASSERT_TRUE(CopyFileW(self, At(u"notepad.exe").c_str(), FALSE));
  Write(u"a.txt", "");
  _wputenv_s(L"SCRIBLET_EDITOR", L"");
  const fs::path before = fs::current_path();
  fs::current_path(dir_.path());
  const bool started = env_.StartEditor(Path(u"a.txt"), dir_.folder());
  fs::current_path(before);

  // The planted copy records and ends; the system's notepad stays open
  // until it is ended here.
  const auto systems = [&] {
    for (const auto& [process, path] : RunningChildren(L"notepad.exe")) {
      const bool other = !fs::equivalent(path, At(u"notepad.exe"));
      CloseHandle(process);
      if (other) return true;
    }
    return false;
  };
  for (int i = 0; i < 200 && !Exists(u"ran.txt") && !systems(); ++i) Sleep(50);
  for (const auto& [process, path] : RunningChildren(L"notepad.exe")) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
  }
  WaitUntilClosed({u"notepad.exe", u"ran.txt", u"a.txt"});
  EXPECT_TRUE(started);
  EXPECT_FALSE(Exists(u"ran.txt")) << "the notepad.exe of the current directory ran";
}

// Exhausted memory while a file is opened or the folder is listed leaves no
// handle open: one left behind would keep a temporary index from being
// removed, a new note from being saved by its editor, or the notes folder
// held open, for as long as the program runs.
TEST_F(WindowsEnvTest, ExhaustedMemoryLeavesNoFileHeldOpen) {
  Write(u"note.txt", "");
  const auto failEachAllocation = [](const std::function<void()>& open) {
    for (int after = 0;; ++after) {
      FailAllocation failure(after);
      try {
        open();
      } catch (const std::bad_alloc&) {
      }
      if (!failure.Fired()) return;
    }
  };
  failEachAllocation([&] {
    std::u16string path;
    env_.CreateTempFile(dir_.folder(), &path);
  });
  failEachAllocation([&] { env_.OpenForWrite(Path(u"note.txt")); });

  // The failed attempts left temporary files, which the removal lists.
  failEachAllocation([&] { env_.RemoveStaleTempFiles(dir_.folder()); });
  failEachAllocation([&] {
    env_.ListFiles(dir_.folder(), [](const std::u16string&) { return true; }, [](NoteEntry) {});
  });
  for (const auto& e : fs::directory_iterator(dir_.path())) {
    EXPECT_FALSE(e.path().filename().wstring().starts_with(L"notes.ndx.~"))
        << e.path().filename().string();
  }
  const HANDLE editor = CreateFileW(At(u"note.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(editor, INVALID_HANDLE_VALUE) << "the note is still held open";
  if (editor != INVALID_HANDLE_VALUE) CloseHandle(editor);
  const HANDLE folder = CreateFileW(dir_.path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  EXPECT_NE(folder, INVALID_HANDLE_VALUE) << "the folder is still held open";
  if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
}

}  // namespace
