#include "platform/posix_env.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/exceptions.h"
#include "platform/file_names.h"

namespace {

class PosixFile final : public CFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  std::size_t Read(void* buf, std::size_t n) override {
    std::size_t done = 0;
    while (done < n) {
      const ssize_t got = ::read(fd_, static_cast<char*>(buf) + done, n - done);
      if (got < 0) {
        if (errno == EINTR) continue;
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
        if (errno == EINTR) continue;
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

 private:
  int fd_;
};

// Opens without blocking on a FIFO or device and keeps only regular files.
std::unique_ptr<CFile> OpenRegular(const std::u16string& path, int flags) {
  const int fd = ::open(ToNativeName(path).c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return std::make_unique<PosixFile>(fd);
}

bool EndsWithTxt(const std::u16string& name) {
  if (name.size() < 4) return false;
  std::u16string tail = name.substr(name.size() - 4);
  for (char16_t& c : tail) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
  }
  return tail == u".txt";
}

// The order a Windows file system lists names in: upper-cased code units,
// then the code units as they are.
bool EnumerationLess(const NoteEntry& a, const NoteEntry& b) {
  const std::size_t n = std::min(a.name.size(), b.name.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto ua = static_cast<char16_t>(u_toupper(a.name[i]));
    const auto ub = static_cast<char16_t>(u_toupper(b.name[i]));
    if (ua != ub) return ua < ub;
  }
  if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
  return a.name < b.name;
}

}  // namespace

Env& Env::Default() {
  static PosixEnv env;
  return env;
}

void PosixEnv::CreateDirectory(const std::u16string& path) {
  ::mkdir(ToNativeName(path).c_str(), 0777);
}

std::unique_ptr<CFile> PosixEnv::OpenForRead(const std::u16string& path) {
  return OpenRegular(path, O_RDONLY);
}

std::unique_ptr<CFile> PosixEnv::OpenForWrite(const std::u16string& path) {
  return OpenRegular(path, O_WRONLY | O_CREAT);
}

std::unique_ptr<CFile> PosixEnv::CreateTempFile(const std::u16string& folder,
                                                std::u16string* path) {
  std::string name = ToNativeName(folder) + "notes.ndx.XXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return nullptr;
  // mkostemp makes the file private; the index gets the usual permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  *path = FromNativeName(name);
  return std::make_unique<PosixFile>(fd);
}

bool PosixEnv::ReplaceFile(const std::u16string& from, const std::u16string& to) {
  return ::rename(ToNativeName(from).c_str(), ToNativeName(to).c_str()) == 0;
}

Env::RenameResult PosixEnv::RenameNoReplace(const std::u16string& from,
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

bool PosixEnv::RemoveFile(const std::u16string& path) {
  return ::unlink(ToNativeName(path).c_str()) == 0;
}

void PosixEnv::DeleteIfEmpty(const std::u16string& path) {
  const std::string native = ToNativeName(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) {
    ::unlink(native.c_str());
  }
}

std::vector<NoteEntry> PosixEnv::FindNotes(const std::u16string& folder) {
  std::vector<NoteEntry> notes;
  const std::string native = ToNativeName(folder);
  DIR* dir = ::opendir(native.empty() ? "." : native.c_str());
  if (dir == nullptr) return notes;
  while (const dirent* entry = ::readdir(dir)) {
    std::u16string name = FromNativeName(entry->d_name);
    if (!EndsWithTxt(name) || name.find(u':') != std::u16string::npos) continue;
    struct stat st {};
    if (::stat((native + entry->d_name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    notes.push_back({name, folder + name, static_cast<std::uint64_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec)});
  }
  ::closedir(dir);
  std::sort(notes.begin(), notes.end(), EnumerationLess);
  return notes;
}

std::int64_t PosixEnv::Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::int64_t PosixEnv::UtcOffsetNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

void PosixEnv::StartEditor(const std::u16string& notePath, const std::u16string& workingDir) {
  const char* configured = std::getenv("SCRIBLET_EDITOR");
  const std::string program =
      configured != nullptr && *configured != '\0' ? configured : "xdg-open";
  // Exact bytes: a note whose name is not UTF-8 must reach the editor as is.
  const std::string path = ToNativeName(notePath);
  const std::string dir = ToNativeName(workingDir);
  char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(path.c_str()),
                        nullptr};
  // Fork twice so the editor belongs to no one here and leaves no zombie.
  const pid_t child = ::fork();
  if (child == 0) {
    ::setsid();
    if (::fork() == 0) {
      if (::chdir(dir.c_str()) == 0) ::execvp(argv[0], argv);
      ::_exit(127);
    }
    ::_exit(0);
  }
  if (child > 0) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
}
