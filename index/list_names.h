#pragma once
// Cuts a word list of the index file into its notes' names. A list ends at
// its first NUL; its names are the pieces between ':', empty pieces left
// out. Inline: a load cuts millions of names.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "index/strong_hash.h"

namespace list_names {

// Eight code units side by side: one compare tests them all.
__extension__ typedef std::uint16_t Units8 __attribute__((vector_size(16)));

// The first of the four lanes in memory that is set.
inline std::size_t FirstLane(std::uint64_t lanes) {
  if constexpr (std::endian::native == std::endian::little) return std::countr_zero(lanes) / 16;
  return std::countl_zero(lanes) / 16;
}

// Of the eight code units at units, the first that is ':' or NUL; 8 when
// there is none.
inline std::size_t FirstColonOrNul(const char16_t* units) {
  Units8 eight;
  std::memcpy(&eight, units, sizeof eight);
  constexpr Units8 kColons = {u':', u':', u':', u':', u':', u':', u':', u':'};
  constexpr Units8 kNuls = {};
  const Units8 found = (eight == kColons) | (eight == kNuls);  // a lane of ones per unit found
  std::uint64_t half[2];
  std::memcpy(half, &found, sizeof half);
  if (half[0] != 0) return FirstLane(half[0]);
  if (half[1] != 0) return 4 + FirstLane(half[1]);
  return 8;
}

}  // namespace list_names

// Replaces names with the names of list, in list order (views into list),
// and strong with their StrongHash, one per name. Each name is hashed while
// its end is looked for: eight units at a time are tested, and each eight
// that more of the name follows are folded in then, so a name's units are
// read once, and only its last few again.
inline void CutList(std::u16string_view list, std::vector<std::u16string_view>& names,
                    std::vector<std::uint64_t>& strong) {
  names.clear();
  strong.clear();
  const char16_t* const units = list.data();
  const std::size_t size = list.size();
  std::size_t begin = 0;
  std::size_t i = 0;
  for (;;) {
    std::uint64_t state = StrongHashStart();
    std::size_t folded = 0;  // units of the name folded into state, eight at a time
    for (; i + 8 <= size; i += 8) {
      if (const std::size_t lane = list_names::FirstColonOrNul(units + i); lane < 8) {
        i += lane;
        break;
      }
      // i - begin is a multiple of eight here: the eight units after those
      // folded are the name's, and more of it follows at i.
      if (i - begin > folded) {
        state = StrongHashBlock(state, units + begin + folded);
        folded += 8;
      }
    }
    while (i < size && units[i] != u':' && units[i] != u'\0') ++i;  // the last few
    const bool last = i == size || units[i] == u'\0';
    if (i > begin) {
      // Every eight but the last one to eight units go in as blocks.
      const std::size_t length = i - begin;
      for (; length - folded > 8; folded += 8) state = StrongHashBlock(state, units + begin + folded);
      names.push_back(list.substr(begin, length));
      strong.push_back(StrongHashFinish(state, units + begin + folded, 2 * (length - folded), 2 * length));
    }
    if (last) return;
    begin = ++i;
  }
}
