#pragma once
// The operating system behind Env: one implementation per system, chosen by
// the build (env_posix.cpp, env_windows.cpp). It shows no windows: its
// ShowWarning writes to standard error, and a program with windows puts the
// window layer's message box in front of it (window/desktop_env.h).

#include "platform/os/env.h"

class SystemEnv : public Env {
 public:
  void MakeDirectory(const std::u16string& path) override;
  std::unique_ptr<CFile> OpenForRead(const std::u16string& path) override;
  std::unique_ptr<CFile> OpenForWrite(const std::u16string& path) override;
  std::unique_ptr<CFile> CreateTempFile(const std::u16string& folder,
                                        std::u16string* path) override;
  void RemoveStaleTempFiles(const std::u16string& folder) override;
  void DropCachedBytes(const std::u16string& path) override;
  bool RenameReplacing(const std::u16string& from, const std::u16string& to) override;
  RenameResult RenameNoReplace(const std::u16string& from,
                               const std::u16string& to) override;
  bool RemoveFile(const std::u16string& path) override;
  void DeleteIfEmpty(const std::u16string& path, std::int64_t writtenBefore) override;
  bool ListFiles(const std::u16string& folder,
                 const std::function<bool(const std::u16string& name)>& wanted,
                 const std::function<void(NoteEntry entry)>& found) override;
  bool IsFile(const std::u16string& path) override;
  bool NameFits(const std::u16string& folder, const std::u16string& name) override;
  std::unique_ptr<FolderLock> LockFolder(const std::u16string& folder,
                                         const std::function<void()>& waiting) override;
  std::u16string AbsolutePath(const std::u16string& path) override;
  std::int64_t Now() override;
  std::int64_t UtcOffsetNow() override;
  bool StartEditor(const std::u16string& notePath, const std::u16string& workingDir) override;
  // "caption: text" on standard error; false, as no box was shown.
  bool ShowWarning(const std::u16string& caption, const std::u16string& text) override;
};
