#pragma once
// A growable open-addressing table (linear probing) from a strong 64-bit
// hash to a payload, a pointer or an id; kEmpty marks a free slot and is
// never stored. The table only finds things: whatever order is visible is
// kept elsewhere. It holds at most half as many payloads as slots, so a
// lookup under a strong hash probes a few slots whatever the keys are.
// A slot keeps the hash's low 32 bits beside its payload (8 bytes for a
// 32-bit id), which also place it: a table stays below 2^32 slots.
//
// The caller compares keys (SameKey below compares two): Find asks
// match(payload) of each payload stored with the same hash. Payloads stored
// under one hash must be distinct.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

#include "platform/os/memory.h"

namespace lookup_keys {

// Sixteen bytes side by side.
__extension__ typedef std::uint64_t Bytes16 __attribute__((vector_size(16)));

// The bits that differ between the 16 bytes at a and at b.
inline Bytes16 Differ16(const char* a, const char* b) {
  Bytes16 x;
  Bytes16 y;
  std::memcpy(&x, a, sizeof x);
  std::memcpy(&y, b, sizeof y);
  return x ^ y;
}

// The bits that differ between the 8 bytes at a and at b.
inline std::uint64_t Differ8(const char* a, const char* b) {
  std::uint64_t x;
  std::uint64_t y;
  std::memcpy(&x, a, sizeof x);
  std::memcpy(&y, b, sizeof y);
  return x ^ y;
}

}  // namespace lookup_keys

// Whether two keys are equal, for a caller's match. Most names are 16 to 64
// bytes: those are compared as four overlapping 16-byte pieces (at the
// start, at the end, and 16 bytes further in from each; the same two for 32
// bytes or fewer) without a branch on their length, which costs less than a
// call of memcmp.
inline bool SameKey(std::u16string_view a, std::u16string_view b) {
  using namespace lookup_keys;
  if (a.size() != b.size()) return false;
  const std::size_t size = a.size() * sizeof(char16_t);
  const auto* x = reinterpret_cast<const char*>(a.data());
  const auto* y = reinterpret_cast<const char*>(b.data());
  if (size >= 16 && size <= 64) {
    const std::size_t inner = size > 32 ? 16 : 0;
    const Bytes16 differ = Differ16(x, y) | Differ16(x + size - 16, y + size - 16) | Differ16(x + inner, y + inner) |
                           Differ16(x + size - 16 - inner, y + size - 16 - inner);
    return (differ[0] | differ[1]) == 0;
  }
  if (size >= 8 && size < 16) return (Differ8(x, y) | Differ8(x + size - 8, y + size - 8)) == 0;
  return size == 0 || std::memcmp(x, y, size) == 0;
}

template <class T, T kEmpty>
class LookupTable {
 public:
  LookupTable() = default;
  LookupTable(const LookupTable&) = delete;
  LookupTable& operator=(const LookupTable&) = delete;
  LookupTable(LookupTable&& other) noexcept { *this = std::move(other); }
  LookupTable& operator=(LookupTable&& other) noexcept {
    m_slots = std::move(other.m_slots);
    m_mask = other.m_mask;
    other.m_mask = 0;
    return *this;
  }

  // The payload with this hash that match accepts, or kEmpty.
  template <class Match>
  T Find(std::uint64_t hash, Match&& match) const {
    if (m_mask == 0) return kEmpty;
    const auto tag = static_cast<std::uint32_t>(hash);
    for (std::size_t i = tag & m_mask;; i = (i + 1) & m_mask) {
      const Slot& slot = m_slots[i];
      if (slot.payload == kEmpty) return kEmpty;
      if (slot.tag == tag && match(slot.payload)) return slot.payload;
    }
  }

  // Asks for the slot where a search for hash starts, for a caller that
  // looks many hashes up and searches later.
  void Prefetch(std::uint64_t hash) const noexcept {
    if (m_mask != 0) __builtin_prefetch(&m_slots[hash & m_mask]);
  }

  // The first payload stored with a hash of the same low 32 bits, or kEmpty
  // when there is none (then Find finds nothing either). Mostly what Find
  // would accept; a caller that finds it is not falls back to Find.
  T FirstWithHash(std::uint64_t hash) const noexcept {
    if (m_mask == 0) return kEmpty;
    const auto tag = static_cast<std::uint32_t>(hash);
    for (std::size_t i = tag & m_mask;; i = (i + 1) & m_mask) {
      const Slot& slot = m_slots[i];
      if (slot.payload == kEmpty || slot.tag == tag) return slot.payload;
    }
  }

  // Makes room for count payloads. Throws std::bad_alloc and then changes
  // nothing.
  void Reserve(std::size_t count) {
    if (2 * count <= m_mask + 1 && m_mask != 0) return;
    std::size_t size = m_mask == 0 ? 16 : 2 * (m_mask + 1);
    while (2 * count > size) size *= 2;
    if (size - 1 > 0xFFFFFFFF) throw std::bad_alloc();
    // Backed at once, then set: a large table is many fresh pages.
    std::unique_ptr<Slot[]> slots(new Slot[size]);
    PrepareToWrite(slots.get(), size * sizeof(Slot));
    std::fill_n(slots.get(), size, Slot{0, kEmpty});
    const std::size_t mask = size - 1;
    for (std::size_t i = 0; i <= m_mask && m_mask != 0; ++i) {
      if (m_slots[i].payload != kEmpty) Place(slots.get(), mask, m_slots[i]);
    }
    m_slots = std::move(slots);
    m_mask = mask;
  }

  // Stores payload; Reserve(count + 1) must have been called for it.
  void Insert(std::uint64_t hash, T payload) noexcept {
    Place(m_slots.get(), m_mask, Slot{static_cast<std::uint32_t>(hash), payload});
  }

  // Removes payload, stored with hash; it must be there.
  void Erase(std::uint64_t hash, T payload) noexcept {
    std::size_t i = hash & m_mask;  // the mask keeps only low bits
    while (m_slots[i].payload != payload) i = (i + 1) & m_mask;
    // Backward shift: later slots of the run move up unless their home lies
    // cyclically after the hole, so no lookup ever stops early.
    for (std::size_t j = (i + 1) & m_mask; m_slots[j].payload != kEmpty; j = (j + 1) & m_mask) {
      const std::size_t home = m_slots[j].tag & m_mask;
      const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
      if (stays) continue;
      m_slots[i] = m_slots[j];
      i = j;
    }
    m_slots[i].payload = kEmpty;
  }

  // Forgets every payload and releases the slots.
  void Clear() noexcept {
    m_slots.reset();
    m_mask = 0;
  }

 private:
  // Set by Reserve: the slots of a new table start out free.
  struct Slot {
    std::uint32_t tag;  // the hash's low 32 bits
    T payload;          // kEmpty: free
  };

  static void Place(Slot* slots, std::size_t mask, const Slot& slot) noexcept {
    std::size_t i = slot.tag & mask;
    while (slots[i].payload != kEmpty) i = (i + 1) & mask;
    slots[i] = slot;
  }

  std::unique_ptr<Slot[]> m_slots;
  std::size_t m_mask = 0;  // slots - 1; 0 before the first Reserve
};
