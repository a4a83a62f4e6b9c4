#pragma once
// A CFile over bytes in memory that the caller owns: reads come from their
// start, writes are appended to them.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/framework/file.h"

class MemoryFile : public CFile {
 public:
  explicit MemoryFile(std::string& bytes) : bytes_(bytes) {}
  std::size_t Read(void* buf, std::size_t n) override {
    n = std::min(n, bytes_.size() - pos_);
    std::memcpy(buf, bytes_.data() + pos_, n);
    pos_ += n;
    return n;
  }
  void Write(const void* buf, std::size_t n) override {
    bytes_.append(static_cast<const char*>(buf), n);
  }
  std::uint64_t GetLength() override { return bytes_.size(); }
  void Flush() override {}
  void Close() override {}

 private:
  std::string& bytes_;
  std::size_t pos_ = 0;
};
