#pragma once
// A fresh directory under the system's temporary folder, removed with
// everything in it when the test ends.

#include <filesystem>
#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The directory as the program's folder text, ending in '/'.
  std::u16string folder() const;

 private:
  std::filesystem::path path_;
};
