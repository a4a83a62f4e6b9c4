#pragma once
// The string-keyed hash map behind every table the program keeps: a chained
// hash table keyed by a wide string, with 17 buckets that never grow.
//
// Its walk order is visible outside the program (the pair order of the index
// file, the name order in word lists, the order of equally scored notes), so
// it is fixed by construction:
// - hash: h = h * 33 + c over the key's UTF-16 code units, modulo 2^32;
//   the bucket is h % 17;
// - a new entry goes to the head of its bucket's chain;
// - FirstEntry/NextEntry visit buckets 0..16, each chain from its head.
// Replacing a value never moves its entry; removing one leaves the others in
// their relative order.
//
// Key arguments are NUL-terminated; hashing, comparing and copying stop at the
// first NUL. A null key throws CInvalidArgException before anything changes.
// Exhausted memory throws CMemoryException and leaves the map as it was.
// Nothing may be inserted into or removed from a map while it is walked.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "platform/framework/exceptions.h"
#include "platform/framework/object.h"

class CArchive;

namespace reference {

// Keyed by a wide string; VALUE is int, a pointer or a wide string. A new
// entry's value is VALUE{}: 0, null, or the empty string. Pointer values are
// not owned.
template <class VALUE>
class CMap : public CObject {
 public:
  struct CPair {
    const std::u16string key;
    VALUE value;
    CPair* pNext;             // next entry in the same bucket's chain
    std::uint32_t nHashValue;  // the key's full hash
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

  // True if the key was present and is now removed. Removing the last entry
  // releases all of the map's memory, as Clear does.
  bool RemoveEntry(const char16_t* key) {
    const Located found = Find(CheckedKey(key));
    if (found.pair == nullptr) return false;
    *found.link = found.pair->pNext;
    Release(found.pair);
    if (--m_nCount == 0) Clear();
    return true;
  }

  // Removes every entry and releases the buckets and the pool blocks.
  void Clear() {
    if (m_pHashTable != nullptr) {
      for (std::uint32_t b = 0; b < m_nHashTableSize; ++b) {
        for (CPair* pair = m_pHashTable[b]; pair != nullptr;) {
          CPair* next = pair->pNext;
          std::destroy_at(pair);
          pair = next;
        }
      }
      delete[] m_pHashTable;
      m_pHashTable = nullptr;
    }
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
    return e->pNext != nullptr ? e->pNext : HeadFrom(e->nHashValue % m_nHashTableSize + 1);
  }

  // The same operations for a std::u16string key, cut at its first NUL.
  CPair* FindEntry(const std::u16string& key) { return FindEntry(key.c_str()); }
  const CPair* FindEntry(const std::u16string& key) const { return FindEntry(key.c_str()); }
  VALUE& operator[](const std::u16string& key) { return (*this)[key.c_str()]; }
  void SetValue(const std::u16string& key, const VALUE& value) { SetValue(key.c_str(), value); }
  bool RemoveEntry(const std::u16string& key) { return RemoveEntry(key.c_str()); }

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

  // A key with its hash and bucket, and where it is (or would be) linked.
  struct Located {
    std::u16string_view key;
    std::uint32_t hash;
    std::uint32_t bucket;
    CPair* pair;    // the matching entry, or null
    CPair** link;   // the pointer that points at pair; null when no buckets
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

  Located Find(std::u16string_view key) const {
    Located found{key, Hash(key), 0, nullptr, nullptr};
    found.bucket = found.hash % m_nHashTableSize;
    if (m_pHashTable == nullptr) return found;
    for (CPair** link = &m_pHashTable[found.bucket]; *link != nullptr; link = &(*link)->pNext) {
      if ((*link)->nHashValue == found.hash && (*link)->key == key) {
        found.pair = *link;
        found.link = link;
        break;
      }
    }
    return found;
  }

  CPair* FindOrInsert(std::u16string_view key) {
    const Located found = Find(key);
    return found.pair != nullptr ? found.pair : Insert(found);
  }

  CPair* Insert(const Located& where) {
    try {
      if (m_pHashTable == nullptr) {
        m_pHashTable = new CPair*[m_nHashTableSize]();
      }
      if (m_pFreeList == nullptr) AddBlock();
      std::u16string key(where.key);
      CSlot* slot = m_pFreeList;
      m_pFreeList = slot->pNextFree;
      CPair*& head = m_pHashTable[where.bucket];
      head = ::new (static_cast<void*>(&slot->pair))
          CPair{std::move(key), VALUE{}, head, where.hash};
      ++m_nCount;
      return head;
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
    for (; b < m_nHashTableSize; ++b) {
      if (m_pHashTable[b] != nullptr) return m_pHashTable[b];
    }
    return nullptr;
  }

  CPair** m_pHashTable = nullptr;  // absent until the first insertion
  std::uint32_t m_nHashTableSize = 17;
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
  // direction.
  virtual void Exchange(CArchive& ar);
};

}  // namespace reference
