#pragma once
// The framework's growable array of wide strings, as much of it as the
// program uses. An index outside 0..GetSize()-1 throws CInvalidArgException;
// exhausted memory throws CMemoryException.

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/framework/exceptions.h"

class CStringArray {
 public:
  int GetSize() const { return static_cast<int>(m_strings.size()); }

  // Appends; returns the new element's index.
  int Add(std::u16string s) {
    try {
      m_strings.push_back(std::move(s));
    } catch (const std::bad_alloc&) {
      throw CMemoryException();
    }
    return GetSize() - 1;
  }

  const std::u16string& GetAt(int i) const { return m_strings[Checked(i)]; }
  std::u16string& operator[](int i) { return m_strings[Checked(i)]; }
  const std::u16string& operator[](int i) const { return m_strings[Checked(i)]; }

  void RemoveAll() { m_strings.clear(); }

 private:
  std::size_t Checked(int i) const {
    if (i < 0 || i >= GetSize()) throw CInvalidArgException();
    return static_cast<std::size_t>(i);
  }

  std::vector<std::u16string> m_strings;
};
