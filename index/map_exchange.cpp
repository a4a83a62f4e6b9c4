#include "index/map.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "index/archive.h"
#include "index/refresh_progress.h"
#include "index/strong_hash.h"
#include "platform/framework/exceptions.h"

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
  // one UTF-16 unit and a stamp).
  Reserve(ar.RoomFor(count, 12));
  // Read a group at a time, each key's lookup slot asked for before any of
  // them is added, so that the misses in a large map's table overlap.
  // Added in the order read, with progress told as if one by one. Keys and
  // values stay where the archive read them until their group is added, so
  // each is copied once, into the map; only those it cannot leave there go
  // to texts of their own.
  constexpr std::uint32_t kGroup = 32;
  std::u16string keyTexts[kGroup];
  std::u16string valueTexts[kGroup];
  std::u16string_view keys[kGroup];
  std::u16string_view values[kGroup];
  std::uint64_t strong[kGroup];
  std::vector<CArchive::Block> keeps;
  const auto read = [&ar, &keeps](std::u16string& text) {
    text.clear();
    const std::u16string_view view = ar.ReadStringInPlace(text, keeps);
    const std::u16string_view whole = view.data() != nullptr ? view : std::u16string_view(text);
    return whole.substr(0, whole.find(u'\0'));
  };
  const auto add = [&](std::uint32_t base, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
      if (progress != nullptr && (base + i) % 1024 == 0) progress->Working(base + i, count);
      // Had before the key is added, so that a failure adds nothing.
      std::u16string value;
      try {
        value.assign(values[i]);
      } catch (const std::bad_alloc&) {
        throw CMemoryException();
      }
      At(keys[i], strong[i]) = std::move(value);
    }
  };
  for (std::uint32_t base = 0; base < count; base += kGroup) {
    const std::uint32_t n = std::min(kGroup, count - base);
    std::uint32_t done = 0;
    try {
      for (; done < n; ++done) {
        keys[done] = read(keyTexts[done]);
        values[done] = read(valueTexts[done]);
        strong[done] = StrongHash(keys[done]);
        PrefetchLookup(strong[done]);
      }
    } catch (...) {
      // The pairs before the one that failed are added, as they would
      // have been one by one.
      add(base, done);
      if (progress != nullptr && (base + done) % 1024 == 0) progress->Working(base + done, count);
      throw;
    }
    add(base, n);
    keeps.clear();  // the archive may read into those buffers again
  }
}
