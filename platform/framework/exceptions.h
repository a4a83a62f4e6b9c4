#pragma once
// The failure family raised inside containers, the archive and file access.
// The only handler is around the index load, which turns any of them into
// an empty index; elsewhere they end the run.

#include <exception>

class CException : public std::exception {
 public:
  const char* what() const noexcept override { return "CException"; }
};

// Memory could not be allocated.
class CMemoryException : public CException {
 public:
  const char* what() const noexcept override { return "CMemoryException"; }
};

// The archive met bytes it cannot read.
class CArchiveException : public CException {
 public:
  enum Cause { none, genericException, endOfFile };
  explicit CArchiveException(Cause cause) : m_cause(cause) {}
  const char* what() const noexcept override { return "CArchiveException"; }
  Cause m_cause;
};

// The system reported a read or write error; m_lOsError is its errno.
class CFileException : public CException {
 public:
  explicit CFileException(int osError) : m_lOsError(osError) {}
  const char* what() const noexcept override { return "CFileException"; }
  int m_lOsError;
};

// A caller broke an operation's contract (a null key).
class CInvalidArgException : public CException {
 public:
  const char* what() const noexcept override { return "CInvalidArgException"; }
};

// A size computation overflowed.
class COleException : public CException {
 public:
  const char* what() const noexcept override { return "COleException"; }
};
