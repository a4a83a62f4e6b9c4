#include "index/name_prefixes.h"

#include <algorithm>
#include <cstring>

#include "index/lookup_table.h"
#include "index/strong_hash.h"

namespace {

constexpr std::size_t kPrefixUnits = 8;
// Longer names keep to FindNote: the table holds lengths in 16 bits.
constexpr std::size_t kMaxLength = 0xFFFF;

// Keyed like StrongHash, so that a crafted file cannot pile its names into
// one run of slots. name has kPrefixUnits units at least.
std::uint64_t PrefixHash(const char16_t* name, std::size_t length) {
  using strong_hash::kSecret;
  std::uint64_t low;
  std::uint64_t high;
  std::memcpy(&low, name, sizeof low);
  std::memcpy(&high, name + 4, sizeof high);
  return strong_hash::Fold(low ^ kSecret.mask, high ^ kSecret.seed ^ length);
}

bool Fits(std::size_t length) { return length >= kPrefixUnits && length <= kMaxLength; }

std::uint16_t Tag(std::uint64_t hash) { return static_cast<std::uint16_t>(hash >> 48); }

bool SameBeginning(const char16_t* a, const char16_t* b) {
  return std::memcmp(a, b, kPrefixUnits * sizeof(char16_t)) == 0;
}

}  // namespace

void NamePrefixes::Build(const WordIndex& words) {
  m_slots.assign(1, Entry{});
  m_mask = 0;
  const std::size_t count = words.NoteCount();
  if (count == 0) return;
  std::size_t size = 16;
  while (size < 2 * count) size *= 2;
  std::vector<Entry> slots(size);
  const std::size_t mask = size - 1;
  // In groups: the slots of a group are asked for before any is filled, so
  // that their cache misses overlap.
  constexpr std::size_t kGroup = 32;
  std::uint64_t hashes[kGroup];
  for (std::size_t base = 0; base < count; base += kGroup) {
    const std::size_t n = std::min(kGroup, count - base);
    for (std::size_t i = 0; i < n; ++i) {
      const std::u16string_view name = words.NoteName(static_cast<Id>(base + i));
      hashes[i] = Fits(name.size()) ? PrefixHash(name.data(), name.size()) : 0;
      __builtin_prefetch(&slots[hashes[i] & mask]);
    }
    for (std::size_t i = 0; i < n; ++i) {
      const auto id = static_cast<Id>(base + i);
      const std::u16string_view name = words.NoteName(id);
      if (!Fits(name.size())) continue;
      for (std::size_t slot = hashes[i] & mask;; slot = (slot + 1) & mask) {
        Entry& entry = slots[slot];
        if (entry.name == nullptr) {
          entry = Entry{name.data(), Tag(hashes[i]), static_cast<std::uint16_t>(name.size()), id};
          break;
        }
        if (entry.length == name.size() && SameBeginning(entry.name, name.data())) {
          entry.id = WordIndex::kNone;  // neither can be told by the table
          break;
        }
      }
    }
  }
  m_slots = std::move(slots);
  m_mask = mask;
}

void NamePrefixes::FindNames(std::span<const std::u16string_view> names, const WordIndex& words, Id* ids) const {
  // In groups, one step of every lookup after another, so that their cache
  // misses overlap: the slot, then the name.
  constexpr std::size_t kGroup = 32;
  std::uint64_t hashes[kGroup];
  const Entry* entries[kGroup];
  for (std::size_t base = 0; base < names.size(); base += kGroup) {
    const std::size_t n = std::min(kGroup, names.size() - base);
    for (std::size_t i = 0; i < n; ++i) {
      const std::u16string_view name = names[base + i];
      hashes[i] = Fits(name.size()) ? PrefixHash(name.data(), name.size()) : 0;
      __builtin_prefetch(&m_slots[hashes[i] & m_mask]);
    }
    for (std::size_t i = 0; i < n; ++i) {
      const std::u16string_view name = names[base + i];
      entries[i] = nullptr;
      if (!Fits(name.size())) continue;
      // By the tag and the length: a slot of another beginning that has
      // both fails the whole compare below.
      for (std::size_t slot = hashes[i] & m_mask;; slot = (slot + 1) & m_mask) {
        const Entry& candidate = m_slots[slot];
        if (candidate.name == nullptr) break;
        if (candidate.tag == Tag(hashes[i]) && candidate.length == name.size()) {
          entries[i] = &candidate;
          break;
        }
      }
      if (entries[i] != nullptr) {
        __builtin_prefetch(entries[i]->name);
        __builtin_prefetch(entries[i]->name + name.size() - 1);
      }
    }
    for (std::size_t i = 0; i < n; ++i) {
      const std::u16string_view name = names[base + i];
      const Entry* const entry = entries[i];
      const bool found = entry != nullptr && entry->id != WordIndex::kNone &&
                         SameKey(name, std::u16string_view(entry->name, entry->length));
      ids[base + i] = found ? entry->id : words.FindNote(name);
    }
  }
}
