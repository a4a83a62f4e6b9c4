#include "index/strong_hash.h"

#include <cstring>
#include <random>

namespace {

struct SipKey {
  std::uint64_t k0;
  std::uint64_t k1;
};

SipKey DrawKey() {
  std::random_device device;
  auto draw = [&device] { return (std::uint64_t{device()} << 32) ^ device(); };
  const std::uint64_t k0 = draw();
  return {k0, draw()};
}

// Initialised before main, so threads only ever read it.
const SipKey kKey = DrawKey();

inline std::uint64_t Rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct SipState {
  std::uint64_t v0, v1, v2, v3;

  void Round() {
    v0 += v1;
    v1 = Rotl(v1, 13);
    v1 ^= v0;
    v0 = Rotl(v0, 32);
    v2 += v3;
    v3 = Rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = Rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = Rotl(v1, 17);
    v1 ^= v2;
    v2 = Rotl(v2, 32);
  }

  void Absorb(std::uint64_t m) {
    v3 ^= m;
    Round();
    v0 ^= m;
  }
};

}  // namespace

std::uint64_t StrongHash(std::u16string_view key) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(key.data());
  const std::size_t size = key.size() * sizeof(char16_t);
  SipState s{kKey.k0 ^ 0x736f6d6570736575ULL, kKey.k1 ^ 0x646f72616e646f6dULL,
             kKey.k0 ^ 0x6c7967656e657261ULL, kKey.k1 ^ 0x7465646279746573ULL};
  std::size_t pos = 0;
  for (; pos + 8 <= size; pos += 8) {
    std::uint64_t m;
    std::memcpy(&m, bytes + pos, 8);
    s.Absorb(m);
  }
  std::uint64_t last = std::uint64_t{size & 0xFF} << 56;
  for (std::size_t i = 0; pos + i < size; ++i) last |= std::uint64_t{bytes[pos + i]} << (8 * i);
  s.Absorb(last);
  s.v2 ^= 0xFF;
  s.Round();
  s.Round();
  s.Round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}
