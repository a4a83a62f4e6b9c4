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

#include <cstdint>
#include <string_view>

// The keyed hash of the key's code units (as they lie in memory) under the
// process secret. Thread-safe.
std::uint64_t StrongHash(std::u16string_view key);
