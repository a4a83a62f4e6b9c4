#pragma once
// The archive's byte layout made by hand, for tests that check what it
// writes and what it reads.

#include <cstddef>
#include <initializer_list>
#include <string>

// The bytes given, each as one char.
inline std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

// The string field of text as archive.h describes it: the UTF-16 marker,
// the shortest length form that holds its size, then its code units.
inline std::string Field(const std::u16string& text) {
  const std::size_t n = text.size();
  std::string out = Bytes({0xFF, 0xFE, 0xFF});
  if (n < 0xFF) {
    out += Bytes({static_cast<int>(n)});
  } else if (n < 0xFFFE) {
    out += Bytes({0xFF, static_cast<int>(n & 0xFF), static_cast<int>(n >> 8)});
  } else {
    out += Bytes({0xFF, 0xFF, 0xFF, static_cast<int>(n & 0xFF), static_cast<int>(n >> 8 & 0xFF),
                  static_cast<int>(n >> 16 & 0xFF), static_cast<int>(n >> 24)});
  }
  for (const char16_t c : text) out += Bytes({c & 0xFF, c >> 8});
  return out;
}
