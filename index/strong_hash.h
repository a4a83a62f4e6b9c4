#pragma once
// The hash of the lookup tables beside the maps' ordered chains. The walk
// hash (h * 33 + c) fixes the visible order but is trivially collidable, so
// a crafted index full of keys of one walk hash would make lookups by it
// quadratic. Lookups therefore use SipHash-1-3 under a key drawn once per
// process: an attacker who cannot see the key cannot aim collisions. The
// value never shows outside the process, so order and files do not depend
// on it.

#include <cstdint>
#include <string_view>

// SipHash-1-3 of the key's code units (as they lie in memory) under the
// process key. Thread-safe.
std::uint64_t StrongHash(std::u16string_view key);
