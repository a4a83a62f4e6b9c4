#include "index/strong_hash.h"

#include <cstring>
#include <random>

namespace {

struct Secret {
  std::uint64_t seed;
  std::uint64_t mask;
};

Secret DrawSecret() {
  std::random_device device;
  auto draw = [&device] { return (std::uint64_t{device()} << 32) ^ device(); };
  const std::uint64_t seed = draw();
  return {seed, draw()};
}

// Initialised before main, so threads only ever read it.
const Secret kSecret = DrawSecret();

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

}  // namespace

std::uint64_t StrongHash(std::u16string_view key) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(key.data());
  const std::size_t size = key.size() * sizeof(char16_t);
  std::uint64_t state = kSecret.seed;
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  // The last 1 to 16 bytes go in as a and b, read overlapping where they are
  // fewer; the size, folded in at the end, tells such keys apart.
  if (size > 16) {
    std::size_t left = size;
    for (; left > 16; left -= 16, bytes += 16) {
      state = Fold(Load64(bytes) ^ kSecret.mask, Load64(bytes + 8) ^ state);
    }
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
