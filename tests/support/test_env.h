#pragma once
// An Env for tests: real files through Env::Default(), a fixed clock, a
// recording editor launcher and message box, and switches that make chosen
// file operations fail. Add a switch here when a test needs a new failure.

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/os/env.h"

// A file that hands every call on to another: a wrapper that changes some
// calls derives from it and overrides only those.
class ForwardingFile : public CFile {
 public:
  explicit ForwardingFile(std::unique_ptr<CFile> file) : file_(std::move(file)) {}
  std::size_t Read(void* buf, std::size_t n) override { return file_->Read(buf, n); }
  void Write(const void* buf, std::size_t n) override { file_->Write(buf, n); }
  std::uint64_t GetLength() override { return file_->GetLength(); }
  void Flush() override { file_->Flush(); }
  void Close() override { file_->Close(); }

 private:
  std::unique_ptr<CFile> file_;
};

class TestEnv : public Env {
 public:
  struct Launch {
    std::u16string notePath;
    std::u16string workingDir;
  };
  struct Message {
    std::u16string caption;
    std::u16string text;
  };

  // Clock: seconds since the epoch, and the local offset from UTC.
  std::int64_t now = 1704447000;  // 2024-01-05 09:30:00 UTC
  std::int64_t utcOffset = 0;

  // Failure switches.
  bool failOpenForWrite = false;
  bool failCreateTemp = false;
  bool failWrites = false;   // every Write of a file from CreateTempFile throws
  // Writes of a file from CreateTempFile fail from the one of this number
  // on (0 is the first), the first failing one after half its bytes, as a
  // disk filling up would; -1: none fails.
  int writesFailFrom = -1;
  bool failFlush = false;    // Flush of a file from CreateTempFile throws, as fsync's EIO would
  bool failReplace = false;
  std::set<std::u16string> unopenable;  // OpenForRead of these paths fails
  std::set<std::u16string> unreadable;  // reads of these paths throw CFileException(EIO)
  // Reads of these paths hand over the bytes before the offset given, then
  // throw CFileException(EIO), as a bad sector in the middle would.
  std::map<std::u16string, std::uint64_t> readFailsAt;
  bool failRenames = false;             // RenameNoReplace says failed (a read-only folder)
  bool renameTargetsTaken = false;      // RenameNoReplace says targetExists

  // What was asked of the files.
  std::vector<std::u16string> opened;   // every path given to OpenForRead
  int renames = 0;                      // calls of RenameNoReplace

  // Runs after the folder was listed, before FindNotes' caller sees the
  // snapshot: lets a test change the folder as another program would
  // meanwhile.
  std::function<void()> afterFindNotes;
  // Names the listing reports twice, one right after the other, as a
  // listing may while another program renames the folder's files.
  std::set<std::u16string> listedTwice;
  // The listing reports this many notes, then breaks off as a failing disk
  // would (0: as a folder that cannot be read); -1: it never breaks off.
  int listingBreaksAfter = -1;

  std::vector<Launch> launches;
  bool editorStarts = true;  // what StartEditor answers
  std::vector<Message> messages;
  bool messageShown = true;  // what ShowWarning answers

  void MakeDirectory(const std::u16string& path) override { real().MakeDirectory(path); }
  std::unique_ptr<CFile> OpenForRead(const std::u16string& path) override;
  std::unique_ptr<CFile> OpenForWrite(const std::u16string& path) override {
    return failOpenForWrite ? nullptr : real().OpenForWrite(path);
  }
  std::unique_ptr<CFile> CreateTempFile(const std::u16string& folder,
                                        std::u16string* path) override;
  void DropCachedBytes(const std::u16string& path) override { real().DropCachedBytes(path); }
  bool RenameReplacing(const std::u16string& from, const std::u16string& to) override {
    return !failReplace && real().RenameReplacing(from, to);
  }
  RenameResult RenameNoReplace(const std::u16string& from, const std::u16string& to) override {
    ++renames;
    if (failRenames) return RenameResult::failed;
    if (renameTargetsTaken) return RenameResult::targetExists;
    return real().RenameNoReplace(from, to);
  }
  void RemoveStaleTempFiles(const std::u16string& folder) override {
    real().RemoveStaleTempFiles(folder);
  }
  bool RemoveFile(const std::u16string& path) override { return real().RemoveFile(path); }
  void DeleteIfEmpty(const std::u16string& path, std::int64_t writtenBefore) override {
    real().DeleteIfEmpty(path, writtenBefore);
  }
  bool ListFiles(const std::u16string& folder,
                 const std::function<bool(const std::u16string& name)>& wanted,
                 const std::function<void(NoteEntry entry)>& found) override {
    int reported = 0;
    const bool whole = real().ListFiles(folder, wanted, [&](NoteEntry entry) {
      if (listingBreaksAfter >= 0 && reported++ >= listingBreaksAfter) return;
      if (listedTwice.count(entry.name) != 0) found(entry);
      found(std::move(entry));
    });
    if (afterFindNotes) afterFindNotes();
    return whole && listingBreaksAfter < 0;
  }
  bool IsFile(const std::u16string& path) override { return real().IsFile(path); }
  bool NameFits(const std::u16string& folder, const std::u16string& name) override {
    return real().NameFits(folder, name);
  }
  std::unique_ptr<FolderLock> LockFolder(const std::u16string& folder,
                                         const std::function<void()>& waiting) override {
    return real().LockFolder(folder, waiting);
  }
  std::u16string AbsolutePath(const std::u16string& path) override {
    return real().AbsolutePath(path);
  }
  std::int64_t Now() override { return now; }
  std::int64_t UtcOffsetNow() override { return utcOffset; }
  bool StartEditor(const std::u16string& notePath, const std::u16string& workingDir) override {
    launches.push_back({notePath, workingDir});
    return editorStarts;
  }
  bool ShowWarning(const std::u16string& caption, const std::u16string& text) override {
    messages.push_back({caption, text});
    return messageShown;
  }

 private:
  static Env& real() { return Env::Default(); }
};
