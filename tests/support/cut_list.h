#pragma once
// The names of a word list cut with each one's StrongHash, as the load
// looked names up before it found them by their beginnings: the reference
// the tests hold the cut and the name lookups to.

#include <cstdint>
#include <string_view>
#include <vector>

#include "index/list_names.h"
#include "index/strong_hash.h"

// Replaces names with the names of list, in list order (views into list),
// and strong with their StrongHash, one per name.
inline void CutList(std::u16string_view list, std::vector<std::u16string_view>& names,
                    std::vector<std::uint64_t>& strong) {
  names.clear();
  strong.clear();
  ForEachListName(list, [&](const char16_t* name, std::size_t length) {
    names.emplace_back(name, length);
    strong.push_back(StrongHash(names.back()));
  });
}
