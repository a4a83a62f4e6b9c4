#include "tests/reference/map.h"

#include <cstdint>

#include "index/archive.h"

namespace reference {

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
  for (std::uint32_t n = ar.ReadCount(); n > 0; --n) {
    const std::u16string key = ar.ReadString();
    const std::u16string value = ar.ReadString();
    SetValue(key.c_str(), std::u16string(value.c_str()));
  }
}

}  // namespace reference
