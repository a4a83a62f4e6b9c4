#include "index/map.h"

#include <cstdint>

#include "index/archive.h"

void CMapStringToString::Exchange(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteCount(static_cast<std::uint32_t>(Count()));
    for (const CPair* pair = FirstEntry(); pair != nullptr; pair = NextEntry(pair)) {
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
  for (std::uint32_t n = ar.ReadCountOf(2); n > 0; --n) {
    ar.ReadString(key);
    ar.ReadString(value);
    SetValue(key.c_str(), std::u16string(value.c_str()));
  }
}
