// The real system behind Env on Windows, through the system's own W
// functions. CFileException carries GetLastError()'s code here.
#include "platform/os/windows_api.h"
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/os/access_list_windows.h"
#include "platform/os/editor.h"
#include "platform/os/system_env.h"
#include "platform/framework/exceptions.h"
#include "platform/text/file_names.h"
#include "platform/text/lower_case.h"

namespace {

// Whether name is kept for a device in every folder ("aux.txt",
// "com1.0.txt"): its part before the first dot, trailing spaces cut, is
// CON, PRN, AUX, NUL, or COM or LPT and a digit, in any case.
bool IsDeviceName(std::u16string_view name) {
  std::u16string stem(name.substr(0, name.find(u'.')));
  while (!stem.empty() && stem.back() == u' ') stem.pop_back();
  for (char16_t& c : stem) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  if (stem == u"con" || stem == u"prn" || stem == u"aux" || stem == u"nul") return true;
  if (stem.size() != 4 || (stem.substr(0, 3) != u"com" && stem.substr(0, 3) != u"lpt")) return false;
  const char16_t digit = stem[3];
  return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' || digit == u'\u00B3';
}

// FILETIME counts 100 ns from 1601-01-01 UTC.
constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kEpochTicks = 116444736000000000;  // 1970-01-01

std::int64_t UnixSeconds(const FILETIME& time) {
  const auto ticks = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  const std::int64_t since = ticks - kEpochTicks;
  // Whole seconds, rounded down also before 1970, as Linux reports them.
  return since >= 0 ? since / kTicksPerSecond : -((-since + kTicksPerSecond - 1) / kTicksPerSecond);
}

class WindowsFile final : public CFile {
 public:
  explicit WindowsFile(HANDLE handle) : handle_(handle) {}
  ~WindowsFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }

  std::size_t Read(void* buf, std::size_t n) override {
    std::size_t done = 0;
    while (done < n) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(handle_, static_cast<char*>(buf) + done, chunk, &got, nullptr)) {
        throw CFileException(static_cast<int>(GetLastError()));
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  void Write(const void* buf, std::size_t n) override {
    std::size_t done = 0;
    while (done < n) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
      DWORD put = 0;
      if (!WriteFile(handle_, static_cast<const char*>(buf) + done, chunk, &put, nullptr)) {
        throw CFileException(static_cast<int>(GetLastError()));
      }
      if (put == 0) throw CFileException(ERROR_DISK_FULL);
      done += put;
    }
  }

  std::uint64_t GetLength() override {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle_, &size)) throw CFileException(static_cast<int>(GetLastError()));
    return static_cast<std::uint64_t>(size.QuadPart);
  }

  void Flush() override {
    if (!FlushFileBuffers(handle_)) throw CFileException(static_cast<int>(GetLastError()));
  }

  void Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle)) throw CFileException(static_cast<int>(GetLastError()));
  }

 private:
  HANDLE handle_;
};

// Wraps handle in a file object, closing it if that fails, so that
// exhausted memory never leaves a file held open.
std::unique_ptr<CFile> Adopt(HANDLE handle) {
  try {
    return std::make_unique<WindowsFile>(handle);
  } catch (...) {
    CloseHandle(handle);
    throw;
  }
}

// Keeps only files on a disk: a name such as "con.txt" may open a device.
std::unique_ptr<CFile> OpenRegular(const std::u16string& path, DWORD access, DWORD share,
                                   DWORD disposition) {
  const HANDLE handle = CreateFileW(Wide(path), access, share, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    return nullptr;
  }
  return Adopt(handle);
}

// A link's size and time are its target's. False when the target is
// missing or is no file on a disk.
bool TargetData(const std::u16string& path, std::uint64_t* length, std::int64_t* lastWrite) {
  const HANDLE handle = CreateFileW(Wide(path), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileType(handle) == FILE_TYPE_DISK &&
                  GetFileInformationByHandle(handle, &info) &&
                  (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  CloseHandle(handle);
  if (!ok) return false;
  *length = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  *lastWrite = UnixSeconds(info.ftLastWriteTime);
  return true;
}

// Closes a find handle however the walk over it ends, exhausted memory
// too: one left open holds the folder for as long as the program runs.
struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};
using FindGuard = std::unique_ptr<void, FindCloser>;

// "notes.ndx.~" and six letters or digits, as CreateTempFile names them.
bool IsTempIndexName(const std::u16string& name) {
  constexpr std::u16string_view prefix = u"notes.ndx.~";
  if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) return false;
  return std::all_of(name.begin() + prefix.size(), name.end(), [](char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
  });
}

// Gives file the hidden and system attributes where model has them: a new
// index is made plain, and a notes.ndx the user hid would show again after
// each save. Nothing is reported: where the attributes cannot be read or
// set, file keeps its own.
void TakeHiddenAttributes(const std::u16string& file, const std::u16string& model) {
  constexpr DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  // Those of file's own that SetFileAttributesW takes back.
  constexpr DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE |
                             FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                             FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD old = GetFileAttributesW(Wide(model));
  if (old == INVALID_FILE_ATTRIBUTES || (old & kept) == 0) return;
  const DWORD own = GetFileAttributesW(Wide(file));
  if (own == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(Wide(file), (own & settable) | (old & kept));
}

bool IsAbsolute(const std::u16string& path) {
  if (!path.empty() && kPathSeparators.find(path[0]) != std::u16string_view::npos) return true;
  return path.size() >= 3 && path[1] == u':' &&
         kPathSeparators.find(path[2]) != std::u16string_view::npos;
}

// The text a call of the Windows kind writes into a buffer: given the
// buffer and its size, it returns the length written, the size it needs
// (its terminator included) when the buffer is too small, or 0 on failure,
// which gives empty text.
std::u16string GrownText(const std::function<DWORD(wchar_t* buffer, DWORD size)>& call) {
  std::u16string text(MAX_PATH, u'\0');
  for (;;) {
    const DWORD length =
        call(reinterpret_cast<wchar_t*>(text.data()), static_cast<DWORD>(text.size()));
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    text.resize(length);
  }
}

std::u16string FullPath(const std::u16string& path) {
  return GrownText([&path](wchar_t* buffer, DWORD size) {
    return GetFullPathNameW(Wide(path), size, buffer, nullptr);
  });
}

// Held by a named mutex: Windows has no lock on a folder itself, and a
// lock file would be one more file in the notes folder. A mutex whose
// owner dies is handed on (abandoned), so a killed run never blocks the
// next. Only the thread that took a mutex can let it go, and a refresh
// lets its lock go on whichever thread finished the save: so a small
// thread of the lock's own takes the mutex and holds it until the lock
// object goes, on any thread.
class MutexFolderLock final : public Env::FolderLock {
 public:
  // Owns mutex from here on.
  explicit MutexFolderLock(HANDLE mutex) : mutex_(mutex) {}
  ~MutexFolderLock() override {
    if (owner_.joinable()) {
      release_.set_value();
      owner_.join();
    }
    CloseHandle(mutex_);
  }
  MutexFolderLock(const MutexFolderLock&) = delete;
  MutexFolderLock& operator=(const MutexFolderLock&) = delete;

  // Returns once the mutex is taken, waiting while another run holds it
  // and calling waiting about every 50 ms meanwhile. False when it cannot
  // be: no thread could be started, or the wait failed; nothing is held
  // then.
  bool Take(const std::function<void()>& waiting) {
    std::future<bool> taken = taken_.get_future();
    std::future<void> released = release_.get_future();
    try {
      owner_ = std::thread([this, released = std::move(released)] {
        const DWORD waited = WaitForSingleObject(mutex_, INFINITE);
        const bool held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        taken_.set_value(held);
        if (!held) return;
        released.wait();
        ReleaseMutex(mutex_);
      });
    } catch (const std::system_error&) {
      return false;
    }
    while (taken.wait_for(std::chrono::milliseconds(50)) == std::future_status::timeout) waiting();
    if (taken.get()) return true;
    owner_.join();
    return false;
  }

 private:
  HANDLE mutex_;
  std::promise<bool> taken_;
  std::promise<void> release_;
  std::thread owner_;  // last: started once the rest is in place
};

// The path of the folder itself, as the system names it through a handle,
// whatever spelt it: a short (8.3) name, a link or junction, a substituted
// drive. Its full path where it cannot be opened.
std::u16string FinalPath(const std::u16string& folder) {
  const HANDLE handle = CreateFileW(Wide(folder), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FullPath(folder);
  const std::unique_ptr<void, decltype(&CloseHandle)> owned(handle, &CloseHandle);
  const std::u16string path = GrownText([handle](wchar_t* buffer, DWORD size) {
    return GetFinalPathNameByHandleW(handle, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  });
  return path.empty() ? FullPath(folder) : path;
}

// The mutex's name for folder: one per folder however it is spelt (case,
// separators, relative or not, short names, links), short enough for any
// path.
std::u16string LockName(const std::u16string& folder) {
  std::u16string key = UpperCaseUnits(FinalPath(folder));
  for (char16_t& c : key) {
    if (c == u'/') c = u'\\';
  }
  while (key.size() > 1 && key.back() == u'\\') key.pop_back();
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char16_t c : key) {
    hash = (hash ^ c) * 1099511628211ull;
  }
  wchar_t name[64];
  std::swprintf(name, 64, L"Local\\scriblet-folder-%016llx",
                static_cast<unsigned long long>(hash));
  return FromWide(name);
}

// A registered application's path (App Paths, the user's then the
// machine's), as the shell finds "notepad++.exe"; nothing when none is.
// RRF_RT_REG_SZ also takes a REG_EXPAND_SZ path, expanded.
std::optional<std::u16string> RegisteredApplication(const std::u16string& name) {
  const std::u16string key = u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name;
  for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    DWORD bytes = 0;
    if (RegGetValueW(root, Wide(key), nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
        ERROR_SUCCESS) {
      continue;
    }
    std::u16string path(bytes / sizeof(char16_t) + 1, u'\0');
    bytes = static_cast<DWORD>(path.size() * sizeof(char16_t));
    if (RegGetValueW(root, Wide(key), nullptr, RRF_RT_REG_SZ, nullptr, path.data(), &bytes) !=
        ERROR_SUCCESS) {
      continue;
    }
    path.resize(std::char_traits<char16_t>::length(path.c_str()));
    // Some installers store the path quoted.
    if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"') {
      path = path.substr(1, path.size() - 2);
    }
    if (!path.empty()) return path;
  }
  return std::nullopt;
}

// The editor as found from where the program was started, made absolute:
// ShellExecuteW would look a relative name up in the working directory it
// is given first, the notes folder, which may hold anything. A name with a
// folder in it is taken from the current directory; a bare name is searched
// as programs are, but in safe search mode (SearchPathW: the program's
// folder, the system's, the current one, PATH), then among the registered
// applications. The default order tries the current directory before the
// system's: a run started from inside the notes folder would take a
// notepad.exe that anyone who writes notes could put there for the
// system's. The mode holds for the whole process, where no other search
// wants the default order. Nothing when the editor is not found.
std::optional<std::u16string> EditorFromHere(const std::u16string& editor) {
  if (editor.find_first_of(u"\\/:") != std::u16string::npos) {
    const std::u16string full = FullPath(editor);
    return full.empty() ? std::nullopt : std::optional(full);
  }
  SetSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE);
  const std::u16string found = GrownText([&editor](wchar_t* buffer, DWORD size) {
    return SearchPathW(nullptr, Wide(editor), L".exe", size, buffer, nullptr);
  });
  if (!found.empty()) return found;
  // Registered under their full name: "notepad++" is "notepad++.exe".
  return RegisteredApplication(editor.find(u'.') == std::u16string::npos ? editor + u".exe"
                                                                           : editor);
}

}  // namespace

void SystemEnv::MakeDirectory(const std::u16string& path) {
  CreateDirectoryW(Wide(path), nullptr);
}

std::unique_ptr<CFile> SystemEnv::OpenForRead(const std::u16string& path) {
  return OpenRegular(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     OPEN_EXISTING);
}

// A second new note in the same second opens the first again, which its
// editor may hold open for writing.
std::unique_ptr<CFile> SystemEnv::OpenForWrite(const std::u16string& path) {
  return OpenRegular(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
}

std::unique_ptr<CFile> SystemEnv::CreateTempFile(const std::u16string& folder,
                                                std::u16string* path) {
  static std::atomic<unsigned> counter{0};
  const unsigned seed = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t suffix[16];
    std::swprintf(suffix, 16, L"%06x", (seed + counter++) & 0xFFFFFF);
    const std::u16string candidate = folder + u"notes.ndx.~" + FromWide(suffix);
    const HANDLE handle = CreateFileW(Wide(candidate), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    // Named at once: Windows cannot name an open anonymous file later. A
    // killed run's leftover goes in RemoveStaleTempFiles.
    if (handle != INVALID_HANDLE_VALUE) {
      std::unique_ptr<CFile> file = Adopt(handle);
      *path = candidate;
      return file;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return nullptr;
  }
  return nullptr;
}

void SystemEnv::RemoveStaleTempFiles(const std::u16string& folder) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileExW(Wide(folder + u"notes.ndx.~*"), FindExInfoBasic, &data,
                                       FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return;
  const FindGuard closer(find);
  do {
    // Never a folder or a link, only our own plain files.
    if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
      continue;
    }
    const std::u16string name = FromWide(data.cFileName);
    if (IsTempIndexName(name)) DeleteFileW(Wide(folder + name));
  } while (FindNextFileW(find, &data));
}

// Windows takes no such hint for a file's cached bytes.
void SystemEnv::DropCachedBytes(const std::u16string&) {}

// MOVEFILE_WRITE_THROUGH returns once the rename is on the disk. The
// access list and the hidden and system attributes go over first, on their
// own, so that the rename succeeds or fails as a plain one: ReplaceFileW
// would carry them too, but it also brings the old file's other attributes
// and streams along, has no write-through, and some of its failures leave
// the files under other names.
bool SystemEnv::RenameReplacing(const std::u16string& from, const std::u16string& to) {
  TakeAccessList(from, to);
  TakeHiddenAttributes(from, to);
  return MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

Env::RenameResult SystemEnv::RenameNoReplace(const std::u16string& from,
                                             const std::u16string& to) {
  const std::u16string_view target(to);
  if (IsDeviceName(target.substr(target.find_last_of(u"\\/") + 1))) return RenameResult::failed;
  if (MoveFileExW(Wide(from), Wide(to), 0)) return RenameResult::done;
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? RenameResult::targetExists
                                                                     : RenameResult::failed;
}

bool SystemEnv::RemoveFile(const std::u16string& path) { return DeleteFileW(Wide(path)); }

namespace {

// A reparse point that stands for another name (a symbolic link, a
// junction). Others, such as a cloud folder's placeholders, hold the file's
// own data and are notes like any other.
bool IsLink(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info) {
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  return !GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
         IsReparseTagNameSurrogate(tag.ReparseTag);
}

}  // namespace

// Checks and deletes the one file opened, never the name again: an editor
// that saves by renaming a new file over the note in between would
// otherwise lose the note just saved. The entry itself is opened, not what
// it links to, and a link is left alone: deleting a link whose
// target is empty could not be tied to the check of that target. An editor
// that opens the note without sharing deletion keeps it, as it would from
// DeleteFileW.
void SystemEnv::DeleteIfEmpty(const std::u16string& path, std::int64_t writtenBefore) {
  const HANDLE handle =
      CreateFileW(Wide(path), DELETE | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && !IsLink(handle, info) &&
      info.nFileSizeHigh == 0 && info.nFileSizeLow == 0 &&
      UnixSeconds(info.ftLastWriteTime) < writtenBefore) {
    // Deleted as the handle closes.
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
  }
  CloseHandle(handle);
}

bool SystemEnv::ListFiles(const std::u16string& folder,
                          const std::function<bool(const std::u16string& name)>& wanted,
                          const std::function<void(NoteEntry entry)>& found) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileExW(Wide(folder + u"*"), FindExInfoBasic, &data,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  const FindGuard closer(find);
  do {
    std::u16string name = FromWide(data.cFileName);
    if (!wanted(name) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    std::u16string path = folder + name;
    NoteEntry entry{std::move(name), std::move(path),
                    (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                    UnixSeconds(data.ftLastWriteTime)};
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        !TargetData(entry.path, &entry.length, &entry.lastWrite)) {
      continue;
    }
    found(std::move(entry));
  } while (FindNextFileW(find, &data));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

bool SystemEnv::IsFile(const std::u16string& path) {
  std::uint64_t length = 0;
  std::int64_t lastWrite = 0;
  return TargetData(path, &length, &lastWrite);
}

// NTFS and FAT take 255 UTF-16 code units, whatever the folder. New names
// also keep to Linux's 255 bytes of UTF-8: a folder shared with Linux (a
// synced drive) keeps every name, and both systems give a note the same new
// name. The program is not long-path aware, so the whole path must also
// stay below MAX_PATH, or Windows renames nothing onto it.
bool SystemEnv::NameFits(const std::u16string& folder, const std::u16string& name) {
  if (name.size() > 255 || ToNativeName(name).size() > 255) return false;
  const std::u16string full = FullPath(folder);
  return (full.empty() ? folder.size() : full.size()) + name.size() < MAX_PATH;
}

std::unique_ptr<Env::FolderLock> SystemEnv::LockFolder(const std::u16string& folder,
                                                       const std::function<void()>& waiting) {
  const std::u16string full = FullPath(folder);
  const DWORD attributes = full.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(Wide(full));
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return nullptr;
  }
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, Wide(LockName(folder)));
  if (mutex == nullptr) return nullptr;
  // Owned before it is taken: exhausted memory must not leave it open.
  std::unique_ptr<MutexFolderLock> lock;
  try {
    lock = std::make_unique<MutexFolderLock>(mutex);
  } catch (...) {
    CloseHandle(mutex);
    throw;
  }
  // Without a thread to hold it the folder goes unlocked, as one that
  // cannot be locked.
  if (!lock->Take(waiting)) return nullptr;
  return lock;
}

// Windows itself resolves "." and ".." by the text, so the full path
// names the same file.
std::u16string SystemEnv::AbsolutePath(const std::u16string& path) {
  if (IsAbsolute(path)) return path;
  const std::u16string full = FullPath(path);
  return full.empty() ? path : full;
}

std::int64_t SystemEnv::Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return UnixSeconds(now);
}

std::int64_t SystemEnv::UtcOffsetNow() {
  TIME_ZONE_INFORMATION zone;
  LONG bias = 0;
  switch (GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_STANDARD: bias = zone.Bias + zone.StandardBias; break;
    case TIME_ZONE_ID_DAYLIGHT: bias = zone.Bias + zone.DaylightBias; break;
    case TIME_ZONE_ID_UNKNOWN: bias = zone.Bias; break;
    default: return 0;
  }
  return -static_cast<std::int64_t>(bias) * 60;
}

bool SystemEnv::StartEditor(const std::u16string& notePath, const std::u16string& workingDir) {
  const std::optional<std::u16string> editor = EditorFromHere(FromNativeName(EditorProgram()));
  if (!editor) return false;
  // Quoted, so that a path with spaces reaches the editor as one argument.
  const std::u16string argument = u"\"" + notePath + u"\"";
  // Values above 32 mean the program was started.
  const auto started = reinterpret_cast<INT_PTR>(ShellExecuteW(
      GetDesktopWindow(), L"open", Wide(*editor), Wide(argument), Wide(workingDir), SW_SHOWNORMAL));
  return started > 32;
}
