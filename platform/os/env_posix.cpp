#include "platform/os/system_env.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <random>
#include <string_view>
#include <thread>
#include <utility>

#include "platform/os/editor.h"
#include "platform/framework/exceptions.h"
#include "platform/text/file_names.h"

namespace {

class PosixFile : public CFile {
 public:
  // nonBlocking: fd is a regular file opened with O_NONBLOCK (see
  // OpenRegular).
  explicit PosixFile(int fd, bool nonBlocking = false) : fd_(fd), nonBlocking_(nonBlocking) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  std::size_t Read(void* buf, std::size_t n) override {
    std::size_t done = 0;
    while (done < n) {
      const ssize_t got = ::read(fd_, static_cast<char*>(buf) + done, n - done);
      if (got < 0) {
        if (errno == EINTR || (errno == EAGAIN && Block())) continue;
        throw CFileException(errno);
      }
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
    }
    return done;
  }

  void Write(const void* buf, std::size_t n) override {
    std::size_t done = 0;
    while (done < n) {
      const ssize_t put = ::write(fd_, static_cast<const char*>(buf) + done, n - done);
      if (put < 0) {
        if (errno == EINTR || (errno == EAGAIN && Block())) continue;
        throw CFileException(errno);
      }
      if (put == 0) throw CFileException(ENOSPC);
      done += static_cast<std::size_t>(put);
    }
  }

  std::uint64_t GetLength() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) throw CFileException(errno);
    return static_cast<std::uint64_t>(st.st_size);
  }

  void Flush() override {
    if (::fsync(fd_) != 0) throw CFileException(errno);
  }

  void Close() override {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) throw CFileException(errno);
  }

 protected:
  int fd_;

 private:
  // Local Linux file systems ignore O_NONBLOCK on a regular file, so it is
  // left on, sparing two system calls per note read; where it is honoured
  // (a mandatory lock on an older kernel, a FUSE file system) a call says
  // EAGAIN, and only then is the file made blocking. True when it was
  // non-blocking until now, so the call is worth repeating.
  bool Block() {
    if (!nonBlocking_) return false;
    nonBlocking_ = false;
    // Only the status flags change; O_NONBLOCK is the only one it was given.
    return ::fcntl(fd_, F_SETFL, 0) == 0;
  }

  bool nonBlocking_;
};

// "notes.ndx.~" and six random letters or digits.
std::string TempIndexName() {
  static constexpr char kChars[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
  std::string name = "notes.ndx.~";
  for (int i = 0; i < 6; ++i) name += kChars[pick(random)];
  return name;
}

// A file written once from its start to its end and then made durable, as
// the index's temporary file is: its pages are handed to the disk while the
// rest is still being written, so that the disk works alongside the writer
// and Flush finds little left to wait for.
class WriteBehindFile : public PosixFile {
 public:
  explicit WriteBehindFile(int fd) : PosixFile(fd) {}

  void Write(const void* buf, std::size_t n) override {
    PosixFile::Write(buf, n);
    written_ += n;
    if (written_ - started_ < kStartBytes) return;
    // Only a head start: where it fails or is not supported, Flush still
    // writes and reports everything.
    ::sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(written_ - started_),
                      SYNC_FILE_RANGE_WRITE);
    started_ = written_;
  }

 private:
  static constexpr std::uint64_t kStartBytes = std::uint64_t{2} << 20;

  std::uint64_t written_ = 0;  // bytes written, all of them from the start
  std::uint64_t started_ = 0;  // bytes whose writing out has been started
};

// A file with no name in its folder until Close links it there under a
// temporary name: a run killed while writing it leaves nothing behind.
class UnnamedFile final : public WriteBehindFile {
 public:
  UnnamedFile(int fd, std::string folder, std::u16string* path)
      : WriteBehindFile(fd), folder_(std::move(folder)), path_(path) {}

  void Close() override {
    if (fd_ >= 0 && path_->empty()) Link();
    PosixFile::Close();
  }

 private:
  // Linking through /proc needs no privilege, unlike AT_EMPTY_PATH.
  void Link() {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = folder_ + TempIndexName();
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        *path_ = FromNativeName(name);
        return;
      }
      if (errno != EEXIST) throw CFileException(errno);
    }
    throw CFileException(EEXIST);
  }

  std::string folder_;
  std::u16string* path_;
};

// Wraps fd in a file object, closing fd if that fails, so that exhausted
// memory never leaks a descriptor.
template <class File, class... Args>
std::unique_ptr<CFile> Adopt(int fd, Args&&... args) {
  try {
    return std::make_unique<File>(fd, std::forward<Args>(args)...);
  } catch (...) {
    ::close(fd);
    throw;
  }
}

// Opens without blocking on a FIFO or device and keeps only regular files;
// the file stays non-blocking until a call would block (PosixFile::Block).
std::unique_ptr<CFile> OpenRegular(const std::u16string& path, int flags) {
  const int fd = ::open(ToNativeName(path).c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return Adopt<PosixFile>(fd, true);
}

// The folder part of a native path, "." when it has none.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// "notes.ndx.~" and six letters or digits, as CreateTempFile names them.
bool IsTempIndexName(std::string_view name) {
  constexpr std::string_view prefix = "notes.ndx.~";
  if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) return false;
  return std::all_of(name.begin() + prefix.size(), name.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  });
}

// A folder listing, closed however the walk ends (exhausted memory too).
struct CloseFolder {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using Folder = std::unique_ptr<DIR, CloseFolder>;

Folder OpenFolder(const std::string& native) {
  return Folder(::opendir(native.empty() ? "." : native.c_str()));
}

// The program as execvp would find it from where we were started, made
// absolute: the editor runs in the notes folder, where a relative name or a
// relative PATH entry ("." or empty) would reach whatever the folder holds.
// Nothing when there is no such program.
std::optional<std::string> ProgramFromHere(const std::string& program) {
  namespace fs = std::filesystem;
  const auto absolute = [](const fs::path& path) {
    std::error_code error;
    const fs::path full = fs::absolute(path, error);
    return error ? path.string() : full.string();
  };
  if (program.find('/') != std::string::npos) return absolute(program);
  const char* setting = std::getenv("PATH");
  const std::string_view path = setting != nullptr ? setting : "/bin:/usr/bin";  // execvp's default
  for (std::size_t start = 0; start <= path.size();) {
    const std::size_t end = std::min(path.find(':', start), path.size());
    const std::string_view entry = path.substr(start, end - start);
    const fs::path candidate = fs::path(entry.empty() ? "." : entry) / program;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return absolute(candidate);
    }
    start = end + 1;
  }
  return std::nullopt;
}

class PosixFolderLock final : public Env::FolderLock {
 public:
  explicit PosixFolderLock(int fd) : fd_(fd) {}
  ~PosixFolderLock() override { ::close(fd_); }
  PosixFolderLock(const PosixFolderLock&) = delete;
  PosixFolderLock& operator=(const PosixFolderLock&) = delete;

 private:
  int fd_;
};

}  // namespace

void SystemEnv::MakeDirectory(const std::u16string& path) {
  ::mkdir(ToNativeName(path).c_str(), 0777);
}

std::unique_ptr<CFile> SystemEnv::OpenForRead(const std::u16string& path) {
  return OpenRegular(path, O_RDONLY);
}

std::unique_ptr<CFile> SystemEnv::OpenForWrite(const std::u16string& path) {
  return OpenRegular(path, O_WRONLY | O_CREAT);
}

std::unique_ptr<CFile> SystemEnv::CreateTempFile(const std::u16string& folder,
                                                std::u16string* path) {
  path->clear();
  const std::string native = ToNativeName(folder);
  // No more access than the index it is to replace: a private index must
  // not lie open to others under the temporary name while it is written.
  mode_t mode = 0666;
  struct stat index {};
  if (::stat((native + "notes.ndx").c_str(), &index) == 0) mode = index.st_mode & 0777;
  if (::access("/proc/self/fd", X_OK) == 0) {
    const int fd = ::open(native.empty() ? "." : native.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0) return Adopt<UnnamedFile>(fd, native, path);
  }
  // A file system without unnamed files: the file is named at once, and a
  // killed run's leftover waits for RemoveStaleTempFiles. Made by open
  // itself, so that it gets the usual permissions without the process's
  // umask being changed while other threads create files.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = native + TempIndexName();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    std::unique_ptr<CFile> file = Adopt<WriteBehindFile>(fd);
    // Should naming fail, the file is closed and left for RemoveStaleTempFiles.
    *path = FromNativeName(name);
    return file;
  }
  return nullptr;
}

void SystemEnv::DropCachedBytes(const std::u16string& path) {
  const int fd = ::open(ToNativeName(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

bool SystemEnv::RenameReplacing(const std::u16string& from, const std::u16string& to) {
  const std::string source = ToNativeName(from);
  const std::string target = ToNativeName(to);
  const std::string folder = FolderOf(target);  // nothing may throw after the rename
  // Only the permission bits: the owner stays whoever saves, and where the
  // new file cannot take them it keeps its own.
  struct stat replaced {};
  if (::stat(target.c_str(), &replaced) == 0) ::chmod(source.c_str(), replaced.st_mode & 0777);
  if (::rename(source.c_str(), target.c_str()) != 0) return false;
  // The rename lives in the folder: until the folder is synced a power cut
  // may undo it while keeping the notes renamed meanwhile. The new file is
  // in place either way, so a failed sync is not a failed rename.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

Env::RenameResult SystemEnv::RenameNoReplace(const std::u16string& from,
                                            const std::u16string& to) {
  const std::string source = ToNativeName(from);
  const std::string target = ToNativeName(to);
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return RenameResult::done;
  }
  if (errno == EEXIST) return RenameResult::targetExists;
  if (errno != EINVAL && errno != ENOSYS) return RenameResult::failed;
  // The file system cannot rename without replacing: a hard link cannot
  // replace either.
  if (::link(source.c_str(), target.c_str()) != 0) {
    return errno == EEXIST ? RenameResult::targetExists : RenameResult::failed;
  }
  if (::unlink(source.c_str()) != 0) {
    ::unlink(target.c_str());
    return RenameResult::failed;
  }
  return RenameResult::done;
}

bool SystemEnv::RemoveFile(const std::u16string& path) {
  return ::unlink(ToNativeName(path).c_str()) == 0;
}

void SystemEnv::RemoveStaleTempFiles(const std::u16string& folder) {
  const std::string native = ToNativeName(folder);
  const Folder dir = OpenFolder(native);
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (!IsTempIndexName(entry->d_name)) continue;
    // Not through a link, and never anything but a plain file.
    struct stat st {};
    if (::fstatat(::dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode)) {
      ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
    }
  }
}

namespace {

bool IsOldEmptyFile(const std::string& path, std::int64_t writtenBefore) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 &&
         static_cast<std::int64_t>(st.st_mtim.tv_sec) < writtenBefore;
}

// Moves whatever is at from to to, unless to exists. Where the file system
// cannot refuse to replace, to is asked about first: not a hard link, which
// would leave the name from pointing at whatever an editor put there.
bool MoveUnlessTaken(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  struct stat st {};
  return ::lstat(to.c_str(), &st) != 0 && errno == ENOENT && ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

// Linux removes by name, and an editor may rename a freshly saved note over
// that name the instant after the check. So the file is first moved to its
// name with "~" added, checked there and removed, or moved back when what
// was moved is no longer the empty note (a hard link, which refuses to
// replace, where renameat2 cannot); should the name have been taken again
// meanwhile, the moved file stays beside it under the "~" name. Where it
// cannot be moved (that name taken, say by an editor's backup, or too
// long), it is checked once more and removed where it is.
void SystemEnv::DeleteIfEmpty(const std::u16string& path, std::int64_t writtenBefore) {
  const std::string native = ToNativeName(path);
  if (!IsOldEmptyFile(native, writtenBefore)) return;
  std::u16string aside = path;
  aside += u'~';
  const std::string nativeAside = ToNativeName(aside);
  if (!MoveUnlessTaken(native, nativeAside)) {
    if (IsOldEmptyFile(native, writtenBefore)) ::unlink(native.c_str());
    return;
  }
  if (IsOldEmptyFile(nativeAside, writtenBefore)) {
    ::unlink(nativeAside.c_str());
  } else if (RenameNoReplace(aside, path) == RenameResult::failed) {
    MoveUnlessTaken(nativeAside, native);  // no hard links either
  }
}

bool SystemEnv::ListFiles(const std::u16string& folder,
                          const std::function<bool(const std::u16string& name)>& wanted,
                          const std::function<void(NoteEntry entry)>& found) {
  const std::string native = ToNativeName(folder);
  const Folder dir = OpenFolder(native);
  if (dir == nullptr) return errno == ENOENT || errno == ENOTDIR;
  // Each entry is asked about relative to the open folder, so the system
  // does not walk the folder's path again for every note.
  const int fd = ::dirfd(dir.get());
  // Every entry's name is decoded into the same memory; a note gets its own
  // copies, of just the length needed, only once it is known to be one.
  std::u16string name;
  bool whole = true;
  for (;;) {
    // readdir tells its end from a failure only by errno.
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) return errno == 0 && whole;
    AssignNativeName(name, entry->d_name);
    if (!wanted(name)) continue;
    struct stat st {};
    if (::fstatat(fd, entry->d_name, &st, 0) != 0) {
      // Gone since it was listed, or a link whose target cannot be reached
      // (whatever the reason): not a note. Any other failure to ask about
      // the entry itself (a bad sector, a network folder's lost request)
      // says nothing of whether the note is there.
      const int error = errno;
      struct stat self {};
      const bool link =
          ::fstatat(fd, entry->d_name, &self, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(self.st_mode);
      if (!link && error != ENOENT) whole = false;
      continue;
    }
    if (!S_ISREG(st.st_mode)) continue;
    std::u16string path;
    path.reserve(folder.size() + name.size());
    path += folder;
    path += name;
    found({name, std::move(path), static_cast<std::uint64_t>(st.st_size),
           static_cast<std::int64_t>(st.st_mtim.tv_sec)});
  }
}

bool SystemEnv::IsFile(const std::u16string& path) {
  struct stat st {};
  return ::stat(ToNativeName(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Linux file systems keep at most NAME_MAX (255) bytes of a name, some
// fewer (eCryptfs's encrypted names about 143), as the folder's own file
// system says; where it cannot be asked, 255 is tried and a rename that is
// refused leaves the note's name as it is.
bool SystemEnv::NameFits(const std::u16string& folder, const std::u16string& name) {
  if (name.size() > NAME_MAX) return false;
  const std::string native = ToNativeName(folder);
  const long asked = ::pathconf(native.empty() ? "." : native.c_str(), _PC_NAME_MAX);
  const std::size_t limit =
      asked > 0 && asked < NAME_MAX ? static_cast<std::size_t>(asked) : NAME_MAX;
  return ToNativeName(name).size() <= limit;
}

// How often a held folder lock is asked for again.
constexpr std::chrono::milliseconds kLockPoll(50);

std::unique_ptr<Env::FolderLock> SystemEnv::LockFolder(const std::u16string& folder,
                                                       const std::function<void()>& waiting) {
  // The folder itself is locked: it needs no file of ours in it, can be
  // opened in a read-only folder, and is never replaced as notes.ndx is.
  const std::string native = ToNativeName(folder);
  const int fd = ::open(native.empty() ? "." : native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  // Owned before it is locked: exhausted memory must not leave it locked.
  std::unique_ptr<PosixFolderLock> lock;
  try {
    lock = std::make_unique<PosixFolderLock>(fd);
  } catch (...) {
    ::close(fd);
    throw;
  }
  // Asked again and again rather than waited for in the system, so that
  // the wait can be shown.
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return lock;
    if (errno != EWOULDBLOCK && errno != EINTR) return nullptr;
    waiting();
    std::this_thread::sleep_for(kLockPoll);
  }
}

std::u16string SystemEnv::AbsolutePath(const std::u16string& path) {
  if (path.starts_with(u'/')) return path;
  std::string cwd(256, '\0');
  while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (errno != ERANGE) return path;
    cwd.resize(cwd.size() * 2);
  }
  cwd.resize(std::char_traits<char>::length(cwd.c_str()));
  if (!cwd.ends_with('/')) cwd += '/';
  return FromNativeName(cwd) + path;
}

std::int64_t SystemEnv::Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::int64_t SystemEnv::UtcOffsetNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

bool SystemEnv::StartEditor(const std::u16string& notePath, const std::u16string& workingDir) {
  const std::optional<std::string> found = ProgramFromHere(EditorProgram());
  if (!found) return false;
  const std::string& program = *found;
  // Exact bytes: a note whose name is not UTF-8 must reach the editor as is.
  const std::string path = ToNativeName(notePath);
  const std::string dir = ToNativeName(workingDir);
  char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(path.c_str()),
                        nullptr};
  // The editor's exec closes this pipe; a failure writes its errno into it.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  // Fork twice so the editor belongs to no one here and leaves no zombie.
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(report[0]);
    const auto sendError = [&report](int error) {
      [[maybe_unused]] const ssize_t sent = ::write(report[1], &error, sizeof error);
    };
    ::setsid();
    const pid_t editor = ::fork();
    if (editor == 0) {
      if (::chdir(dir.c_str()) == 0) ::execvp(argv[0], argv);
      sendError(errno);
      ::_exit(127);
    }
    if (editor < 0) sendError(errno);
    ::_exit(0);
  }
  ::close(report[1]);
  bool started = false;
  if (child > 0) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    started = got == 0;
  }
  ::close(report[0]);
  return started;
}
