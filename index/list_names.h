#pragma once
// Cuts a word list of the index file into its notes' names. A list ends at
// its first NUL; its names are the pieces between ':', empty pieces left
// out. Inline: a load cuts millions of names.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace list_names {

// Eight code units side by side: one compare tests them all. Bytes8 holds
// one byte of each.
__extension__ typedef std::uint16_t Units8 __attribute__((vector_size(16)));
__extension__ typedef std::uint8_t Bytes8 __attribute__((vector_size(8)));

inline Units8 Load8(const char16_t* units) {
  Units8 eight;
  std::memcpy(&eight, units, sizeof eight);
  return eight;
}

// The lanes of found, each all ones or all zeros, as bits: lane k at bit k.
inline std::uint64_t LaneBits(Units8 found) {
  const Bytes8 bytes = __builtin_convertvector(found, Bytes8);
  std::uint64_t lanes;
  std::memcpy(&lanes, &bytes, sizeof lanes);
  lanes &= 0x0101010101010101;
  // The multiplication moves the low bit of each byte into the top byte,
  // in lane order, and nothing else there.
  if constexpr (std::endian::native == std::endian::little) return (lanes * 0x0102040810204080) >> 56;
  return (lanes * 0x8040201008040201) >> 56;
}

// Which of the count (at most 64) units at units are ':', as bits (unit k at
// bit k); sets nul when one is NUL. Reads only those units.
inline std::uint64_t Colons(const char16_t* units, std::size_t count, bool& nul) {
  constexpr Units8 kColons = {u':', u':', u':', u':', u':', u':', u':', u':'};
  constexpr Units8 kNuls = {};
  std::uint64_t colons = 0;
  Units8 nuls = {};
  std::size_t k = 0;
  for (; k + 8 <= count; k += 8) {
    const Units8 eight = Load8(units + k);
    nuls |= eight == kNuls;
    colons |= LaneBits(eight == kColons) << k;
  }
  if (k < count) {
    if (count >= 8) {
      // The last eight units, overlapping those tested, their first bits
      // dropped.
      const Units8 eight = Load8(units + count - 8);
      nuls |= eight == kNuls;
      colons |= LaneBits(eight == kColons) >> (k + 8 - count) << k;
    } else {
      for (; k < count; ++k) {
        colons |= std::uint64_t{units[k] == u':'} << k;
        nul |= units[k] == u'\0';
      }
    }
  }
  std::uint64_t half[2];
  std::memcpy(half, &nuls, sizeof half);
  nul |= (half[0] | half[1]) != 0;
  return colons;
}

}  // namespace list_names

// Calls take(name, length) for each name of list, in list order (pointers
// into list). The ':' of each 64 units are found first, as bits, and the
// names taken from them: the units are tested eight at a time without a
// branch on what they hold. Always inline: take is called for each name.
template <class Take>
[[gnu::always_inline]] inline void ForEachListName(std::u16string_view list, Take&& take) {
  const char16_t* const units = list.data();
  std::size_t size = list.size();
  std::size_t begin = 0;  // of the name being cut
  for (std::size_t block = 0; block < size; block += 64) {
    const std::size_t count = size - block < 64 ? size - block : 64;
    bool nul = false;
    std::uint64_t colons = list_names::Colons(units + block, count, nul);
    if (nul) {
      // Rare: the list ends here, at its first NUL.
      std::size_t at = 0;
      while (units[block + at] != u'\0') ++at;
      colons &= (std::uint64_t{1} << at) - 1;  // at < 64
      size = block + at;
    }
    for (; colons != 0; colons &= colons - 1) {
      const std::size_t end = block + static_cast<std::size_t>(std::countr_zero(colons));
      if (end > begin) take(units + begin, end - begin);
      begin = end + 1;
    }
  }
  if (size > begin) take(units + begin, size - begin);
}

