#include "index/map.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "index/archive.h"
#include "index/refresh_progress.h"
#include "index/strong_hash.h"

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
  const std::uint32_t count = ar.ReadCountOf(2);
  // A pair of a file this program wrote takes 12 bytes at least (a name of
  // one UTF-16 unit and a stamp), so a crafted count reserves no more than
  // the file's size allows.
  Reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, ar.BytesLeft() / 12)));
  // Read a group at a time, each key's lookup slot asked for before any of
  // them is added, so that the misses in a large map's table overlap.
  // Added in the order read, with progress told as if one by one.
  constexpr std::uint32_t kGroup = 32;
  std::u16string keys[kGroup];
  std::u16string values[kGroup];
  std::uint64_t strong[kGroup];
  const auto cut = [](const std::u16string& text) {
    return std::u16string_view(text).substr(0, text.find(u'\0'));
  };
  const auto add = [&](std::uint32_t base, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
      if (progress != nullptr && (base + i) % 1024 == 0) progress->Working(base + i, count);
      // The value read is moved into the map, unless a NUL cuts it.
      std::u16string& value = values[i];
      if (const std::size_t nul = value.find(u'\0'); nul != std::u16string::npos) value.resize(nul);
      At(cut(keys[i]), strong[i]) = std::move(value);
    }
  };
  for (std::uint32_t base = 0; base < count; base += kGroup) {
    const std::uint32_t n = std::min(kGroup, count - base);
    std::uint32_t read = 0;
    try {
      for (; read < n; ++read) {
        ar.ReadString(keys[read]);
        ar.ReadString(values[read]);
        strong[read] = StrongHash(cut(keys[read]));
        PrefetchLookup(strong[read]);
      }
    } catch (...) {
      // The pairs before the one that failed are added, as they would
      // have been one by one.
      add(base, read);
      if (progress != nullptr && (base + read) % 1024 == 0) progress->Working(base + read, count);
      throw;
    }
    add(base, n);
  }
}
