#include "platform/os/windows_api.h"

#include <cwchar>
#include <stdexcept>

#include "tests/support/temp_dir.h"

TempDir::TempDir() {
  wchar_t base[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, base);
  if (length == 0 || length > MAX_PATH) throw std::runtime_error("GetTempPathW failed");
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    wchar_t name[32];
    std::swprintf(name, 32, L"scriblet-%08lx",
                  (GetTickCount() ^ (GetCurrentProcessId() << 16)) + attempt);
    const std::wstring candidate = std::wstring(base) + name;
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("CreateDirectoryW failed");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::u16string TempDir::folder() const { return path_.u16string() + u"/"; }
