#include "index/map.h"

#include <cstdint>

#include "index/archive.h"
#include "index/refresh_progress.h"

void CMapStringToString::Exchange(CArchive& ar, RefreshProgress* progress) {
  if (ar.IsStoring()) {
    const auto count = static_cast<std::uint32_t>(Count());
    ar.WriteCount(count);
    std::uint32_t done = 0;
    for (const CPair* pair = FirstEntry(); pair != nullptr; pair = NextEntry(pair), ++done) {
      if (progress != nullptr && done % 1024 == 0) progress->Working(done, count);
      ar.WriteString(pair->key);
      ar.WriteString(pair->value);
    }
    return;
  }
  // Pairs are added to what the map holds. Key and value end at their first
  // NUL, as every key of the map does; a repeated key keeps its first
  // position and takes the later value.
  // A pair takes two bytes at least (two empty 8-bit strings).
  std::u16string key;
  std::u16string value;
  const std::uint32_t count = ar.ReadCountOf(2);
  for (std::uint32_t done = 0; done < count; ++done) {
    if (progress != nullptr && done % 1024 == 0) progress->Working(done, count);
    ar.ReadString(key);
    ar.ReadString(value);
    SetValue(key.c_str(), std::u16string(value.c_str()));
  }
}
