#include "tests/support/test_env.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/framework/exceptions.h"

namespace {

// Wraps a real file whose writes fail from a given one on, the first of
// them after half its bytes, as a filling disk would, and whose Flush may
// fail. kEveryWrite: every write fails at once, writing nothing.
class FailingLaterFile : public ForwardingFile {
 public:
  static constexpr int kEveryWrite = -1;
  static constexpr int kNoWrite = INT_MAX;
  FailingLaterFile(std::unique_ptr<CFile> file, int failFrom, bool failFlush)
      : ForwardingFile(std::move(file)), left_(failFrom), failFlush_(failFlush) {}
  void Write(const void* buf, std::size_t n) override {
    if (left_ < 0) throw CFileException(ENOSPC);
    if (left_-- == 0) {
      ForwardingFile::Write(buf, n / 2);
      throw CFileException(ENOSPC);
    }
    ForwardingFile::Write(buf, n);
  }
  void Flush() override {
    if (failFlush_) throw CFileException(EIO);
    ForwardingFile::Flush();
  }

 private:
  int left_;  // writes that succeed before the one that fails; below 0: failing
  bool failFlush_;
};

// Opens, but every read fails as a bad sector would.
class FailingReadFile : public CFile {
 public:
  std::size_t Read(void*, std::size_t) override { throw CFileException(EIO); }
  void Write(const void*, std::size_t) override { throw CFileException(EBADF); }
  std::uint64_t GetLength() override { return std::uint64_t{1} << 20; }  // reads are tried
  void Flush() override {}
  void Close() override {}
};

// Wraps a real file whose reads fail from a byte on. As a real file's, a
// read returns fewer bytes than asked only at the end of the file: one
// that reaches the bad byte throws.
class FailingFromFile : public ForwardingFile {
 public:
  FailingFromFile(std::unique_ptr<CFile> file, std::uint64_t failAt)
      : ForwardingFile(std::move(file)), left_(failAt) {}
  std::size_t Read(void* buf, std::size_t n) override {
    if (left_ == 0 && n > 0) throw CFileException(EIO);
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(n, left_));
    const std::size_t got = ForwardingFile::Read(buf, want);
    left_ -= got;
    if (got == want && want < n) throw CFileException(EIO);
    return got;
  }

 private:
  std::uint64_t left_;
};

}  // namespace

std::unique_ptr<CFile> TestEnv::OpenForRead(const std::u16string& path) {
  opened.push_back(path);
  if (unopenable.count(path) != 0) return nullptr;
  auto file = real().OpenForRead(path);
  if (file && unreadable.count(path) != 0) return std::make_unique<FailingReadFile>();
  if (const auto fails = readFailsAt.find(path); file && fails != readFailsAt.end()) {
    return std::make_unique<FailingFromFile>(std::move(file), fails->second);
  }
  return file;
}

std::unique_ptr<CFile> TestEnv::CreateTempFile(const std::u16string& folder,
                                               std::u16string* path) {
  if (failCreateTemp) return nullptr;
  auto file = real().CreateTempFile(folder, path);
  if (file && (failWrites || writesFailFrom >= 0 || failFlush)) {
    const int failFrom = failWrites            ? FailingLaterFile::kEveryWrite
                         : writesFailFrom >= 0 ? writesFailFrom
                                               : FailingLaterFile::kNoWrite;
    return std::make_unique<FailingLaterFile>(std::move(file), failFrom, failFlush);
  }
  return file;
}
