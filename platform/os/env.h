#pragma once
// Everything the program asks of the operating system, behind one interface,
// so that tests can replace the clock, the launcher, the message box and any
// file operation (to inject failures) without touching the callers.
// Paths and names are UTF-16; see file_names.h for how they meet the bytes
// of Linux file names.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/framework/file.h"

// One file found by ListFiles, as the enumeration saw it.
struct NoteEntry {
  std::u16string name;     // file name as on disk, extension included
  std::u16string path;     // folder + name
  std::uint64_t length;    // bytes
  std::int64_t lastWrite;  // seconds since 1970-01-01 UTC, fractions dropped
};

class Env {
 public:
  Env() = default;
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;
  virtual ~Env() = default;

  // The operating system itself (SystemEnv), which shows no windows: its
  // ShowWarning writes to standard error. Lives for the whole process.
  static Env& Default();

  // --- Files ---

  // Creates one directory. Failure (it exists, a parent is missing) is not
  // reported: callers find out when they use the directory.
  virtual void MakeDirectory(const std::u16string& path) = 0;

  // Opens an existing regular file for reading while others may read and
  // write it. Null when it cannot be opened or is not a regular file; never
  // blocks on a FIFO or device.
  virtual std::unique_ptr<CFile> OpenForRead(const std::u16string& path) = 0;

  // Opens a file for writing, creating it when missing and keeping its bytes
  // when present. Null when it cannot be opened.
  virtual std::unique_ptr<CFile> OpenForWrite(const std::u16string& path) = 0;

  // Creates a new, empty temporary file inside folder (which ends in '/'),
  // named "notes.ndx.~XXXXXX" (six letters or digits) by the time Close
  // returns: *path holds that name once the file has it, and is empty
  // before, so a crash before Close may leave no file at all. Null when it
  // cannot be created. *path must outlive the file. It is written once,
  // from start to end, and may be sent to the disk as it is written; only
  // Flush makes it durable. On Linux it never has more permission bits
  // than folder's notes.ndx, when there is one.
  virtual std::unique_ptr<CFile> CreateTempFile(const std::u16string& folder,
                                                std::u16string* path) = 0;

  // Removes the temporary files "notes.ndx.~XXXXXX" (regular files only)
  // that CreateTempFile made in folder and a killed run left behind. Call it
  // only while holding LockFolder's lock, so that no live run's file goes.
  virtual void RemoveStaleTempFiles(const std::u16string& folder) = 0;

  // Says that the bytes of the file at path will not be read again, as
  // those of an index about to be replaced: the memory caching them may go
  // to the file that replaces it. Only a hint: the file stays as it is,
  // and nothing is reported (a missing file included).
  virtual void DropCachedBytes(const std::u16string& path) = 0;

  // Renames from to to, atomically replacing an existing to, and syncs the
  // folder so that the rename survives a power cut. True when renamed. The
  // file first takes the access of the one it replaces (the permission bits
  // on Linux, the access list on Windows), so a private index stays
  // private; its owner stays whoever renames. On Windows it also takes the
  // hidden and system attributes, so a hidden index stays hidden. Where
  // these cannot be read or taken the file keeps its own, and the rename
  // succeeds or fails as it would without them.
  virtual bool RenameReplacing(const std::u16string& from, const std::u16string& to) = 0;

  enum class RenameResult { done, targetExists, failed };
  // Renames from to to but never replaces an existing to.
  virtual RenameResult RenameNoReplace(const std::u16string& from,
                                       const std::u16string& to) = 0;

  // Removes a file. True on success.
  virtual bool RemoveFile(const std::u16string& path) = 0;

  // Deletes path only if it is, right now, a zero-length regular file last
  // written before writtenBefore (seconds since 1970-01-01 UTC, whole
  // seconds compared): an editor may have saved text into it since it was
  // enumerated, or have just truncated it to write it anew.
  virtual void DeleteIfEmpty(const std::u16string& path, std::int64_t writtenBefore) = 0;

  // Calls found, in the order the system lists them, for each entry of
  // folder (which ends in a path separator) whose name wanted accepts and
  // that is a regular file (a link counts as its target), with its length
  // and last write; its path is folder + name. wanted sees each name before
  // anything else is asked about the entry. Which entries are notes, and
  // their order, is the core's (index/notes_folder.h), the same on every
  // system. Returns whether the folder was listed to its end: true for a
  // missing folder (it holds nothing), false when the folder cannot be read
  // or its listing breaks off, after found has heard of what came before,
  // and false, after the whole listing, when an entry could not be asked
  // about for any reason but its absence.
  virtual bool ListFiles(const std::u16string& folder,
                         const std::function<bool(const std::u16string& name)>& wanted,
                         const std::function<void(NoteEntry entry)>& found) = 0;

  // Whether path is, right now, a regular file (a link counts as its target).
  virtual bool IsFile(const std::u16string& path) = 0;

  // Whether the system can give a file in folder (which ends in '/') the
  // name name, as far as its length goes. No system takes more than 255
  // UTF-16 code units; Linux counts bytes of the name's UTF-8, 255 or fewer
  // as folder's file system says (eCryptfs keeps about 143); on Windows
  // the whole path must stay below MAX_PATH (260).
  virtual bool NameFits(const std::u16string& folder, const std::u16string& name) = 0;

  // An exclusive advisory lock on folder (which ends in '/') among the runs
  // that ask for it, held while the returned object lives and released
  // when it is destroyed (on any thread) or the process ends, however it
  // ends. Waits while another run holds it, calling waiting about every
  // 50 ms meanwhile (on this thread, so that it may show that the run
  // works). Null, at once, when the folder cannot be locked (missing,
  // unreadable, a file system without locks): callers go on without it.
  class FolderLock {
   public:
    virtual ~FolderLock() = default;
  };
  virtual std::unique_ptr<FolderLock> LockFolder(const std::u16string& folder,
                                                 const std::function<void()>& waiting) = 0;

  // path made absolute against the current working directory (unchanged
  // when it already starts with '/'); "." and ".." levels are kept, so it
  // names the same file from any working directory. path itself when the
  // working directory cannot be had.
  virtual std::u16string AbsolutePath(const std::u16string& path) = 0;

  // --- Time ---

  // The current time in seconds since 1970-01-01 UTC.
  virtual std::int64_t Now() = 0;

  // The local time zone's offset from UTC in force now, in seconds.
  virtual std::int64_t UtcOffsetNow() = 0;

  // --- Programs and messages ---

  // Starts the text editor (see editor.h) on notePath with workingDir as its
  // working directory, without waiting for it. True when the program runs;
  // false when it could not be started (not found, not executable, the
  // working directory missing). What the editor does later is not reported.
  virtual bool StartEditor(const std::u16string& notePath,
                           const std::u16string& workingDir) = 0;

  // Shows a warning message box with one OK button and waits for it to be
  // closed. Without a display (or without windows at all, see Default) the
  // text goes to standard error instead and the result is false.
  virtual bool ShowWarning(const std::u16string& caption, const std::u16string& text) = 0;
};
