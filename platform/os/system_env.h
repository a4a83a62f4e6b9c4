#pragma once
// The real system behind Env. Private to platform/: callers use Env::Default().

#include "platform/os/env.h"

class PosixEnv final : public Env {
 public:
  void MakeDirectory(const std::u16string& path) override;
  std::unique_ptr<CFile> OpenForRead(const std::u16string& path) override;
  std::unique_ptr<CFile> OpenForWrite(const std::u16string& path) override;
  std::unique_ptr<CFile> CreateTempFile(const std::u16string& folder,
                                        std::u16string* path) override;
  void RemoveStaleTempFiles(const std::u16string& folder) override;
  bool RenameReplacing(const std::u16string& from, const std::u16string& to) override;
  RenameResult RenameNoReplace(const std::u16string& from,
                               const std::u16string& to) override;
  bool RemoveFile(const std::u16string& path) override;
  void DeleteIfEmpty(const std::u16string& path, std::int64_t writtenBefore) override;
  std::vector<NoteEntry> FindNotes(const std::u16string& folder,
                                   const std::function<void(std::size_t)>& listed = {}) override;
  bool IsNote(const std::u16string& folder, const std::u16string& name) override;
  std::unique_ptr<FolderLock> LockFolder(const std::u16string& folder) override;
  std::u16string AbsolutePath(const std::u16string& path) override;
  std::int64_t Now() override;
  std::int64_t UtcOffsetNow() override;
  bool StartEditor(const std::u16string& notePath, const std::u16string& workingDir) override;
  bool ShowWarning(const std::u16string& caption, const std::u16string& text) override;
};
