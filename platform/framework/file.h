#pragma once
// An open file, as the archive, the refresh and the new note use it.
// Obtained from Env; closed when destroyed at the latest.

#include <cstddef>
#include <cstdint>

class CFile {
 public:
  CFile() = default;
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;
  virtual ~CFile() = default;

  // Reads up to n bytes into buf. Returns the number read; fewer than n only
  // at the end of the file. Throws CFileException on a read error.
  virtual std::size_t Read(void* buf, std::size_t n) = 0;

  // Writes all n bytes or throws CFileException (a short write counts as
  // disk full).
  virtual void Write(const void* buf, std::size_t n) = 0;

  // The file's length in bytes now. Throws CFileException.
  virtual std::uint64_t GetLength() = 0;

  // Forces written bytes to stable storage. Throws CFileException.
  virtual void Flush() = 0;

  // Closes the file; reports a failed close as CFileException. Further
  // calls do nothing.
  virtual void Close() = 0;
};
