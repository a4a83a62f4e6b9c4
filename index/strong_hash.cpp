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
  const auto* bytes = reinterpret_cast<const unsigned char*>(key.data());
  const std::size_t size = key.size() * sizeof(char16_t);
  std::uint64_t state = StrongHashStart();
  std::size_t left = size;
  if (size > 16) {
    for (; left > 16; left -= 16, bytes += 16) state = StrongHashBlock(state, bytes);
  }
  return StrongHashFinish(state, bytes, left, size);
}
