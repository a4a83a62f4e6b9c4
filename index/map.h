#pragma once
// The string-keyed hash map behind the program's tables: 17 ordered chains
// that fix the walk, beside a growable lookup table that finds keys.
//
// Its walk order is visible outside the program (the pair order of the index
// file, the name order in word lists, the order of equally scored notes), so
// it is fixed by construction:
// - walk hash: h = h * 33 + c over the key's UTF-16 code units, modulo 2^32;
//   the bucket is h % 17;
// - a new entry goes to the head of its bucket's chain;
// - FirstEntry/NextEntry visit buckets 0..16, each chain from its head.
// Replacing a value never moves its entry; removing one leaves the others in
// their relative order.
//
// Lookups do not walk the chains: a lookup table under a keyed strong hash
// (strong_hash.h) finds an entry in constant expected time however many
// entries share a bucket, keys crafted to share a walk hash included.
// Chains are doubly linked, so a removal is constant time too.
//
// Key arguments are NUL-terminated; hashing, comparing and copying stop at the
// first NUL. A null key throws CInvalidArgException before anything changes.
// Exhausted memory throws CMemoryException and leaves the map as it was.
// Nothing may be inserted into or removed from a map while it is walked.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "index/lookup_table.h"
#include "index/strong_hash.h"
#include "platform/framework/exceptions.h"
#include "platform/framework/object.h"

class CArchive;
class RefreshProgress;

// Keyed by a wide string; VALUE is int, a pointer or a wide string. A new
// entry's value is VALUE{}: 0, null, or the empty string. Pointer values are
// not owned.
template <class VALUE>
class CMap : public CObject {
 public:
  struct CPair {
    const std::u16string key;
    VALUE value;
    CPair* pNext;              // next entry in the same bucket's chain
    std::uint32_t nHashValue;  // the key's full walk hash
    CPair* pPrev = nullptr;    // previous entry in the chain; null at its head
  };

  // Entries are carved from pool blocks of blockSize; 0 or less means 10.
  explicit CMap(int blockSize = 10) : m_nBlockSize(blockSize > 0 ? blockSize : 10) {}
  CMap(const CMap&) = delete;
  CMap& operator=(const CMap&) = delete;
  ~CMap() override { Clear(); }

  const char* GetRuntimeClass() const override { return "CMap"; }

  // The entry of the key, or null.
  CPair* FindEntry(const char16_t* key) { return Find(CheckedKey(key)).pair; }
  const CPair* FindEntry(const char16_t* key) const { return Find(CheckedKey(key)).pair; }

  // FindEntry of each of keys, each cut at its first NUL, into found (as
  // many). Faster than one by one for keys the caches do not hold: a group
  // of lookups goes one step at a time, each step asking for what the next
  // one reads (the slot, the entry, its key and a string value), so their
  // misses overlap instead of coming one after another.
  void FindEntries(std::span<const std::u16string_view> keys, const CPair** found) const {
    constexpr std::size_t kGroup = 64;
    std::u16string_view key[kGroup];
    std::uint64_t strong[kGroup];
    for (std::size_t base = 0; base < keys.size(); base += kGroup) {
      const std::size_t n = std::min(kGroup, keys.size() - base);
      const CPair** out = found + base;
      for (std::size_t i = 0; i < n; ++i) {
        key[i] = keys[base + i].substr(0, keys[base + i].find(u'\0'));
        strong[i] = StrongHash(key[i]);
        m_lookup.Prefetch(strong[i]);
      }
      for (std::size_t i = 0; i < n; ++i) {
        out[i] = m_lookup.FirstWithHash(strong[i]);
        if (out[i] != nullptr) __builtin_prefetch(out[i]);
      }
      for (std::size_t i = 0; i < n; ++i) {
        if (out[i] == nullptr) continue;
        __builtin_prefetch(out[i]->key.data());
        if constexpr (std::is_same_v<VALUE, std::u16string>) __builtin_prefetch(out[i]->value.data());
      }
      // The first entry of the same hash is nearly always the key's; any
      // other is looked past by a full lookup.
      for (std::size_t i = 0; i < n; ++i) {
        if (out[i] != nullptr && out[i]->key != key[i]) out[i] = Find(key[i], strong[i]).pair;
      }
    }
  }

  // The value of the key's entry, inserted with VALUE{} when absent.
  VALUE& operator[](const char16_t* key) { return FindOrInsert(CheckedKey(key))->value; }

  // Same as assigning through operator[].
  void SetValue(const char16_t* key, const VALUE& value) {
    const std::u16string_view checked = CheckedKey(key);
    // Copied before a new key is inserted, so that a failed copy leaves no
    // entry behind.
    VALUE copy = [&value] {
      try {
        return value;
      } catch (const std::bad_alloc&) {
        throw CMemoryException();
      }
    }();
    FindOrInsert(checked)->value = std::move(copy);
  }

  // Makes room for count more entries, so that inserting them does not
  // grow the lookup table step by step. Throws CMemoryException and then
  // changes nothing.
  void Reserve(std::size_t count) {
    try {
      m_lookup.Reserve(static_cast<std::size_t>(m_nCount) + count);
    } catch (const std::bad_alloc&) {
      throw CMemoryException();
    }
  }

  // True if the key was present and is now removed. Removing the last entry
  // releases all of the map's memory, as Clear does.
  bool RemoveEntry(const char16_t* key) {
    const Located found = Find(CheckedKey(key));
    if (found.pair == nullptr) return false;
    CPair* pair = found.pair;
    if (pair->pPrev != nullptr) {
      pair->pPrev->pNext = pair->pNext;
    } else {
      m_heads[pair->nHashValue % kBuckets] = pair->pNext;
    }
    if (pair->pNext != nullptr) pair->pNext->pPrev = pair->pPrev;
    m_lookup.Erase(found.strong, pair);
    Release(pair);
    if (--m_nCount == 0) Clear();
    return true;
  }

  // Removes every entry and releases the buckets and the pool blocks.
  void Clear() {
    for (CPair*& head : m_heads) {
      for (CPair* pair = head; pair != nullptr;) {
        CPair* next = pair->pNext;
        std::destroy_at(pair);
        pair = next;
      }
      head = nullptr;
    }
    m_lookup.Clear();
    m_nCount = 0;
    m_pFreeList = nullptr;
    while (m_pBlocks != nullptr) {
      CBlock* next = m_pBlocks->pNext;
      ::operator delete(m_pBlocks);
      m_pBlocks = next;
    }
  }

  int Count() const { return m_nCount; }

  // Walk: for (auto* e = m.FirstEntry(); e; e = m.NextEntry(e)).
  CPair* FirstEntry() const { return m_nCount == 0 ? nullptr : HeadFrom(0); }
  // e must be an entry of this map.
  CPair* NextEntry(const CPair* e) const {
    return e->pNext != nullptr ? e->pNext : HeadFrom(e->nHashValue % kBuckets + 1);
  }

  // The same operations for a std::u16string key, cut at its first NUL.
  CPair* FindEntry(const std::u16string& key) { return FindEntry(key.c_str()); }
  const CPair* FindEntry(const std::u16string& key) const { return FindEntry(key.c_str()); }
  VALUE& operator[](const std::u16string& key) { return (*this)[key.c_str()]; }
  void SetValue(const std::u16string& key, const VALUE& value) { SetValue(key.c_str(), value); }
  bool RemoveEntry(const std::u16string& key) { return RemoveEntry(key.c_str()); }

 protected:
  // For a loader that reads a group of keys before it inserts them: asks
  // for the slot where the lookup under strong (the key's StrongHash)
  // starts.
  void PrefetchLookup(std::uint64_t strong) const noexcept { m_lookup.Prefetch(strong); }

  // operator[] of key, which holds no NUL, with its StrongHash given.
  VALUE& At(std::u16string_view key, std::uint64_t strong) {
    const Located found = Find(key, strong);
    return (found.pair != nullptr ? found.pair : Insert(found))->value;
  }

 private:
  // A pool slot: a live entry, or a link in the free list.
  union CSlot {
    CPair pair;
    CSlot* pNextFree;
    CSlot() : pNextFree(nullptr) {}
    ~CSlot() {}
  };
  // A pool block: this header, then m_nBlockSize slots.
  struct CBlock {
    CBlock* pNext;
  };
  static constexpr std::size_t kSlotsOffset =
      (sizeof(CBlock) + alignof(CSlot) - 1) / alignof(CSlot) * alignof(CSlot);
  static_assert(alignof(CSlot) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

  static constexpr std::uint32_t kBuckets = 17;

  // A key with its strong hash, and its entry if it has one.
  struct Located {
    std::u16string_view key;
    std::uint64_t strong;
    CPair* pair;  // the matching entry, or null
  };

  static std::u16string_view CheckedKey(const char16_t* key) {
    if (key == nullptr) throw CInvalidArgException();
    return std::u16string_view(key);
  }

  static std::uint32_t Hash(std::u16string_view key) {
    std::uint32_t h = 0;
    for (char16_t c : key) h = h * 33 + static_cast<std::uint16_t>(c);
    return h;
  }

  Located Find(std::u16string_view key) const { return Find(key, StrongHash(key)); }

  Located Find(std::u16string_view key, std::uint64_t strong) const {
    return {key, strong, m_lookup.Find(strong, [key](const CPair* p) { return p->key == key; })};
  }

  CPair* FindOrInsert(std::u16string_view key) {
    const Located found = Find(key);
    return found.pair != nullptr ? found.pair : Insert(found);
  }

  CPair* Insert(const Located& where) {
    try {
      m_lookup.Reserve(static_cast<std::size_t>(m_nCount) + 1);
      if (m_pFreeList == nullptr) AddBlock();
      std::u16string key(where.key);
      const std::uint32_t hash = Hash(where.key);
      CSlot* slot = m_pFreeList;
      m_pFreeList = slot->pNextFree;
      CPair*& head = m_heads[hash % kBuckets];
      CPair* pair = ::new (static_cast<void*>(&slot->pair)) CPair{std::move(key), VALUE{}, head, hash};
      if (head != nullptr) head->pPrev = pair;
      head = pair;
      m_lookup.Insert(where.strong, pair);
      ++m_nCount;
      return pair;
    } catch (const std::bad_alloc&) {
      throw CMemoryException();
    }
  }

  void AddBlock() {
    void* raw = ::operator new(kSlotsOffset + m_nBlockSize * sizeof(CSlot));
    m_pBlocks = ::new (raw) CBlock{m_pBlocks};
    auto* slots = reinterpret_cast<CSlot*>(static_cast<char*>(raw) + kSlotsOffset);
    // Pushed from the last, so the block is handed out from its first slot.
    for (int i = m_nBlockSize - 1; i >= 0; --i) {
      CSlot* slot = ::new (static_cast<void*>(&slots[i])) CSlot;
      slot->pNextFree = m_pFreeList;
      m_pFreeList = slot;
    }
  }

  // Destroys an unlinked entry and makes its slot the next one handed out.
  void Release(CPair* pair) {
    std::destroy_at(pair);
    auto* slot = reinterpret_cast<CSlot*>(pair);
    slot->pNextFree = m_pFreeList;
    m_pFreeList = slot;
  }

  // Head of the first non-empty bucket at or above b, or null.
  CPair* HeadFrom(std::uint32_t b) const {
    for (; b < kBuckets; ++b) {
      if (m_heads[b] != nullptr) return m_heads[b];
    }
    return nullptr;
  }

  CPair* m_heads[kBuckets] = {};  // the chains, newest entry first
  LookupTable<CPair*, nullptr> m_lookup;
  int m_nCount = 0;
  CSlot* m_pFreeList = nullptr;
  CBlock* m_pBlocks = nullptr;
  int m_nBlockSize;
};

// Wide string to wide string; the file stamp map and the word list map of the
// index file, which it writes and reads through Exchange.
class CMapStringToString : public CMap<std::u16string> {
 public:
  using CMap::CMap;

  const char* GetRuntimeClass() const override { return "CMapStringToString"; }

  // Writes the map to the archive, or reads pairs from it, by the archive's
  // direction; tells progress, when given, how many pairs are done now and
  // then.
  virtual void Exchange(CArchive& ar, RefreshProgress* progress = nullptr);
};
