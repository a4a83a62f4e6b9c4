#include "index/strong_hash.h"

#include <random>

namespace strong_hash {
namespace {

Secret DrawSecret() {
  std::random_device device;
  auto draw = [&device] { return (std::uint64_t{device()} << 32) ^ device(); };
  const std::uint64_t seed = draw();
  return {seed, draw()};
}

}  // namespace

const Secret kSecret = DrawSecret();

}  // namespace strong_hash

std::uint64_t StrongHash(std::u16string_view key) {
  return strong_hash::Hash(reinterpret_cast<const unsigned char*>(key.data()), key.size() * sizeof(char16_t));
}
