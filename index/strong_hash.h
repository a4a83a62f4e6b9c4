#pragma once
// The hash of the lookup tables beside the maps' ordered chains. The walk
// hash (h * 33 + c) fixes the visible order but is trivially collidable, so
// a crafted index full of keys of one walk hash would make lookups by it
// quadratic. Lookups therefore use a keyed hash under a secret drawn once
// per process: an attacker who cannot see the secret cannot aim collisions.
// It is wyhash's construction (each 64-bit word xored with the secret,
// multiplied to 128 bits, the halves folded), a few instructions per 16
// bytes: an index load hashes every name it reads. The value never shows
// outside the process, so order and files do not depend on it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// The keyed hash of the key's code units (as they lie in memory) under the
// process secret. Thread-safe.
std::uint64_t StrongHash(std::u16string_view key);

// StrongHash in steps, for a caller that reads a key's units anyway (a list
// cut into names hashes each name as it looks for its end):
//   state = StrongHashStart();
//   every 16 bytes of the key that more bytes follow, in order:
//     state = StrongHashBlock(state, those 16 bytes);
//   StrongHashFinish(state, the key's last 1 to 16 bytes, or none, and how
//   many; the whole key's size in bytes).
// gives StrongHash(key). Inline, because a load takes these steps millions
// of times.
namespace strong_hash {

struct Secret {
  std::uint64_t seed;
  std::uint64_t mask;
};
// Drawn before main, so threads only ever read it.
extern const Secret kSecret;

// GCC's and Clang's 128-bit integer, one multiplication on 64-bit targets.
__extension__ typedef unsigned __int128 Wide;

// The 128-bit product of a and b, its halves xored.
inline std::uint64_t Fold(std::uint64_t a, std::uint64_t b) {
  const Wide product = static_cast<Wide>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

inline std::uint64_t Load64(const unsigned char* bytes) {
  std::uint64_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

inline std::uint64_t Load32(const unsigned char* bytes) {
  std::uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

}  // namespace strong_hash

inline std::uint64_t StrongHashStart() { return strong_hash::kSecret.seed; }

inline std::uint64_t StrongHashBlock(std::uint64_t state, const void* block) {
  using namespace strong_hash;
  const auto* bytes = static_cast<const unsigned char*>(block);
  return Fold(Load64(bytes) ^ kSecret.mask, Load64(bytes + 8) ^ state);
}

// last points at the key's last `left` bytes (1 to 16; 0 for an empty
// key); for a key above 16 bytes, the 16 bytes before the key's end are
// read whatever left is, so they must be the key's.
inline std::uint64_t StrongHashFinish(std::uint64_t state, const void* last, std::size_t left, std::size_t size) {
  using namespace strong_hash;
  const auto* bytes = static_cast<const unsigned char*>(last);
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  // The last 1 to 16 bytes go in as a and b, read overlapping where they are
  // fewer; the size, folded in at the end, tells such keys apart.
  if (size > 16) {
    a = Load64(bytes + left - 16);
    b = Load64(bytes + left - 8);
  } else if (size >= 8) {
    a = Load64(bytes);
    b = Load64(bytes + size - 8);
  } else if (size >= 4) {
    a = Load32(bytes);
    b = Load32(bytes + size - 4);
  } else if (size == 2) {
    a = std::uint64_t{bytes[0]} | std::uint64_t{bytes[1]} << 8;
  }
  return Fold(kSecret.mask ^ size, Fold(a ^ kSecret.mask, b ^ state));
}
