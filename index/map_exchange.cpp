#include "index/map.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

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
  // A pair of a file this program wrote takes 12 bytes at least (a name of
  // one UTF-16 unit and a stamp), so a crafted count reserves no more than
  // the file's size allows.
  Reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, ar.BytesLeft() / 12)));
  for (std::uint32_t done = 0; done < count; ++done) {
    if (progress != nullptr && done % 1024 == 0) progress->Working(done, count);
    ar.ReadString(key);
    ar.ReadString(value);
    // The value read is moved into the map, unless a NUL cuts it.
    if (const std::size_t nul = value.find(u'\0'); nul != std::u16string::npos) value.resize(nul);
    (*this)[key.c_str()] = std::move(value);
  }
}
