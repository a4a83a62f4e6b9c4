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

// Folds the 16 bytes at block into state.
inline std::uint64_t Block(std::uint64_t state, const unsigned char* block) {
  return Fold(Load64(block) ^ kSecret.mask, Load64(block + 8) ^ state);
}

// The last step: a and b hold the key's last 1 to 16 bytes; the size tells
// keys apart whose last bytes were read overlapping or padded.
inline std::uint64_t Finish(std::uint64_t state, std::uint64_t a, std::uint64_t b, std::size_t size) {
  return Fold(kSecret.mask ^ size, Fold(a ^ kSecret.mask, b ^ state));
}

// StrongHash of the size bytes at bytes: every 16 bytes that more bytes
// follow folded into the state in turn, then the last 1 to 16. Always
// inline, for the loop that hashes the names of a list; other callers call
// StrongHash.
[[gnu::always_inline]] inline std::uint64_t Hash(const unsigned char* bytes, std::size_t size) {
  std::uint64_t state = kSecret.seed;
  if (size > 16 && size <= 64) {
    // Most names: one to three blocks, the second and third taken or not by
    // a mask rather than by a loop, whose end would be mispredicted at about
    // every other name. An untaken block reads bytes of the key all the same.
    state = Block(state, bytes);
    const std::uint64_t second = std::uint64_t{0} - (size > 32);
    state = (Block(state, bytes + (16 & second)) & second) | (state & ~second);
    const std::uint64_t third = std::uint64_t{0} - (size > 48);
    state = (Block(state, bytes + (32 & third)) & third) | (state & ~third);
    return Finish(state, Load64(bytes + size - 16), Load64(bytes + size - 8), size);
  }
  std::size_t left = size;
  for (; left > 16; left -= 16, bytes += 16) state = Block(state, bytes);
  // The last 1 to 16 bytes go in as a and b, read overlapping where they are
  // fewer.
  std::uint64_t a = 0;
  std::uint64_t b = 0;
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
  return Finish(state, a, b, size);
}

}  // namespace strong_hash

// The keyed hash of the key's code units (as they lie in memory) under the
// process secret: strong_hash::Hash of its bytes. Thread-safe.
std::uint64_t StrongHash(std::u16string_view key);
