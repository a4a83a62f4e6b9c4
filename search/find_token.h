#pragma once
// text.find(token, from), faster for the ranking's scan of every word: the
// standard search of a char16_t text tests one unit at a time, this one
// tests sixteen at once for the token's first unit and compares the rest
// only where it is found.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "index/list_names.h"

namespace find_token {

// Whether any lane of found is set.
inline bool Any(list_names::Units8 found) {
  std::uint64_t half[2];
  std::memcpy(half, &found, sizeof half);
  return (half[0] | half[1]) != 0;
}

}  // namespace find_token

// The first place at or after from where token lies in text, or npos, as
// text.find(token, from) gives.
inline std::size_t FindToken(std::u16string_view text, std::u16string_view token, std::size_t from) {
  using list_names::LaneBits;
  using list_names::Load8;
  using list_names::Units8;
  using find_token::Any;
  if (token.empty() || token.size() > text.size()) return text.find(token, from);
  const std::size_t last = text.size() - token.size();  // the last place it may begin
  const char16_t* const units = text.data();
  const std::u16string_view rest = token.substr(1);
  const auto restAt = [&](std::size_t at) {
    return std::char_traits<char16_t>::compare(units + at + 1, rest.data(), rest.size()) == 0;
  };
  const char16_t first = token.front();
  const Units8 firsts = {first, first, first, first, first, first, first, first};
  std::size_t at = from;
  // Sixteen places at a time while all may begin the token.
  for (; at <= last && last - at >= 15; at += 16) {
    const Units8 low = Load8(units + at) == firsts;
    const Units8 high = Load8(units + at + 8) == firsts;
    if (!Any(low | high)) continue;
    for (std::uint64_t found = LaneBits(low) | LaneBits(high) << 8; found != 0; found &= found - 1) {
      const std::size_t place = at + static_cast<std::size_t>(std::countr_zero(found));
      if (restAt(place)) return place;
    }
  }
  for (; at <= last; ++at) {
    if (units[at] == first && restAt(at)) return at;
  }
  return std::u16string_view::npos;
}
