#pragma once
// CxMap: an ordered map of unique keys, kept twice while its index is on:
// as a doubly linked list of nodes in ascending key order, and as an array of
// the same node pointers (the index) that a key is binary-searched on. With
// the index off (list mode) lookups walk the list; results and order are the
// same. The index is on from construction, growing by 128 entries; when it
// cannot be allocated or grown the map drops to list mode.
//
// Walk it from GetHead() along pNext: keys come smallest first. Nodes never
// move, so a node stays valid until it is removed or the map is destroyed.
// KEY needs operator< (the order) and assignment; VALUE is default-constructed
// empty and owned by its node.

#include <algorithm>
#include <new>
#include <utility>

#include "platform/framework/exceptions.h"

template <class KEY, class VALUE>
class CxMap {
 public:
  struct ELSTR {
    ELSTR* pPrev = nullptr;
    ELSTR* pNext = nullptr;
    KEY key{};
    VALUE value{};
    virtual ~ELSTR() = default;
  };

  CxMap() {
    m_ppIndex = new (std::nothrow) ELSTR*[m_nIndexSize];
    if (m_ppIndex == nullptr) {
      m_nIndexSize = 0;  // the index stays on; the first insertion allocates it
      return;
    }
    FillIndex();
    SortIndex(0, m_nCount - 1);
  }
  CxMap(const CxMap&) = delete;
  CxMap& operator=(const CxMap&) = delete;

  // The smallest key's node, or null.
  ELSTR* GetHead() const { return m_pHead; }

  // The virtual operations, in this order.
 protected:
  // Puts node into the index at position (-1: at the end) after m_nCount was
  // raised for it, growing the array; if it cannot grow, drops to list mode.
  virtual void InsertIndexEntry(int position, ELSTR* node) {
    if (m_nCount > m_nIndexSize) {
      ELSTR** grown = new (std::nothrow) ELSTR*[m_nIndexSize + m_nGrowBy];
      if (grown == nullptr) {
        DisableIndex();
        return;
      }
      std::copy_n(m_ppIndex, m_nCount - 1, grown);
      delete[] m_ppIndex;
      m_ppIndex = grown;
      m_nIndexSize += m_nGrowBy;
    }
    if (position == -1) {
      m_ppIndex[m_nCount - 1] = node;
    } else {
      std::copy_backward(m_ppIndex + position, m_ppIndex + m_nCount - 1, m_ppIndex + m_nCount);
      m_ppIndex[position] = node;
    }
  }

  // Quicksort of index entries lo..hi by key.
  virtual void SortIndex(int lo, int hi) {
    if (hi < lo) return;
    const KEY& pivot = m_ppIndex[(lo + hi) / 2]->key;  // swaps move pointers, not nodes
    int i = lo;
    int j = hi;
    do {
      while (CompareKeys(pivot, m_ppIndex[i]->key) > 0) ++i;
      while (CompareKeys(m_ppIndex[j]->key, pivot) > 0) --j;
      if (i > j) break;
      std::swap(m_ppIndex[i], m_ppIndex[j]);
      ++i;
      --j;
    } while (i <= j);
    if (lo < j) SortIndex(lo, j);
    if (i < hi) SortIndex(i, hi);
  }

  // Copies the list into the index from entry 0.
  virtual void FillIndex() {
    ELSTR** entry = m_ppIndex;
    for (ELSTR* node = m_pHead; node != nullptr; node = node->pNext) *entry++ = node;
  }

  // 0 when equal, 1 when a is greater, -1 when a is smaller.
  virtual int CompareKeys(const KEY& a, const KEY& b) const {
    if (a < b) return -1;
    if (b < a) return 1;
    return 0;
  }

  // A node with an empty value; links and key are the caller's to set.
  // Exhausted memory throws CMemoryException. An override may return null,
  // which FindOrInsert reports as null with the map unchanged.
  virtual ELSTR* NewNode() {
    try {
      return new ELSTR;
    } catch (const std::bad_alloc&) {
      throw CMemoryException();
    }
  }

 public:
  virtual ~CxMap() {
    DisableIndex();
    RemoveAll();
  }

  // The node of key, made with an empty value and linked in order if the key
  // is new (zeroValue also resets a new node's value). Null only when NewNode
  // gives none.
  virtual ELSTR* FindOrInsert(KEY key, bool zeroValue) { return Insert(key, zeroValue); }

  // FindOrInsert without the value reset.
  virtual ELSTR* FindOrInsertKey(const KEY& key) { return Insert(key, false); }

  // Unlinks and deletes a node of this map; false on an empty map or for
  // no node.
  virtual bool RemoveNode(ELSTR* node) {
    if (m_nCount == 0 || node == nullptr) return false;
    if (m_nGrowBy != 0) return RemoveKeyRef(node->key);
    Unlink(node);
    return true;
  }

  // Removes the node of key; false if there is none.
  virtual bool RemoveKey(KEY key) { return RemoveKeyRef(key); }

  // RemoveKey with the key by reference. (Two overloads by value and by
  // reference could not be told apart at a call, hence the name.)
  virtual bool RemoveKeyRef(const KEY& key) {
    ELSTR* node;
    if (m_nGrowBy != 0) {
      const int pos = FindIndexPos(key, true);
      if (pos == -1) return false;
      node = m_ppIndex[pos];
      std::copy(m_ppIndex + pos + 1, m_ppIndex + m_nCount, m_ppIndex + pos);
    } else {
      node = Find(key);
      if (node == nullptr) return false;
    }
    Unlink(node);
    return true;
  }

  // Deletes every node; an index that was on is rebuilt, empty.
  virtual void RemoveAll() {
    m_pLastFound = nullptr;
    const int growBy = DisableIndex();
    for (ELSTR* node = m_pHead; node != nullptr;) {
      ELSTR* next = node->pNext;
      delete node;
      node = next;
    }
    m_nCount = 0;
    m_pHead = nullptr;
    m_pTail = nullptr;
    if (growBy != 0) EnableIndex(growBy);
  }

  // Builds the index with growth step growBy; growBy 0 or less leaves list
  // mode. False when the index is not built: an empty map then keeps the
  // index on, to be allocated by its first insertion; a map with nodes stays
  // in list mode.
  virtual bool EnableIndex(int growBy) {
    if (m_nGrowBy != 0) DisableIndex();
    if (growBy <= 0) return false;
    m_nGrowBy = growBy;
    m_nIndexSize = std::max(growBy, m_nCount);
    m_ppIndex = new (std::nothrow) ELSTR*[m_nIndexSize];
    if (m_ppIndex == nullptr) {
      m_nIndexSize = 0;
      if (m_nCount != 0) m_nGrowBy = 0;
      return false;
    }
    FillIndex();
    SortIndex(0, m_nCount - 1);
    return true;
  }

  // Drops the index (list mode); returns the growth step it had, 0 if off.
  virtual int DisableIndex() {
    const int growBy = m_nGrowBy;
    if (m_nGrowBy != 0) {
      m_nGrowBy = 0;
      delete[] m_ppIndex;
      m_ppIndex = nullptr;
      m_nIndexSize = 0;
    }
    return growBy;
  }

  // Binary search of the index. exact: the position of key's node, or -1.
  // Otherwise the position of key's node if there is one, else the number of
  // nodes with smaller keys.
  int FindIndexPos(const KEY& key, bool exact) const {
    int lo = 0;
    int hi = m_nCount - 1;
    int mid = (lo + hi) / 2;  // rounds toward zero: 0 for an empty index
    while (hi - lo >= 1) {
      const int c = CompareKeys(key, m_ppIndex[mid]->key);
      if (c > 0) {
        lo = mid + 1;
      } else if (c == 0) {
        return mid;
      } else {
        hi = mid - 1;
      }
      mid = (lo + hi) / 2;
    }
    if (mid == m_nCount) return exact ? -1 : mid;
    const int c = CompareKeys(key, m_ppIndex[mid]->key);
    if (c > 0) return exact ? -1 : mid + 1;
    if (c == 0) return mid;
    return exact ? -1 : mid;
  }

  // The node of key, or null; tries the last node found first.
  ELSTR* Find(const KEY& key) {
    if (m_bUseCache && m_pLastFound != nullptr && CompareKeys(m_pLastFound->key, key) == 0) {
      return m_pLastFound;
    }
    ELSTR* found = nullptr;
    if (m_nCount == 0) {
      // nothing to find
    } else if (m_nGrowBy != 0) {
      const int pos = FindIndexPos(key, true);
      if (pos != -1) found = m_ppIndex[pos];
    } else {
      for (ELSTR* node = m_pHead; node != nullptr; node = node->pNext) {
        const int c = CompareKeys(node->key, key);
        if (c == 0) found = node;
        if (c >= 0) break;
      }
    }
    m_pLastFound = found;
    return found;
  }

 private:
  ELSTR* Insert(const KEY& key, bool zeroValue) {
    m_pLastFound = nullptr;
    ELSTR* prev = nullptr;
    int pos = 0;
    if (m_nGrowBy != 0) {
      pos = FindIndexPos(key, false);
      if (pos >= 0 && pos < m_nCount && CompareKeys(m_ppIndex[pos]->key, key) == 0) {
        return m_ppIndex[pos];
      }
      if (pos >= 1 && pos <= m_nCount) prev = m_ppIndex[pos - 1];
    } else {
      for (ELSTR* node = m_pHead; node != nullptr; node = node->pNext) {
        const int c = CompareKeys(node->key, key);
        if (c == 0) return node;
        if (c > 0) break;
        prev = node;
      }
    }

    ELSTR* node = NewNode();
    if (node == nullptr) return nullptr;
    node->key = key;
    if (zeroValue) node->value = VALUE();
    ++m_nCount;
    if (m_nGrowBy != 0) InsertIndexEntry(pos, node);

    if (prev != nullptr) {
      node->pNext = prev->pNext;
      if (node->pNext != nullptr) node->pNext->pPrev = node;
      node->pPrev = prev;
      prev->pNext = node;
    } else {
      node->pNext = m_pHead;
      if (node->pNext != nullptr) node->pNext->pPrev = node;
      node->pPrev = nullptr;
      m_pHead = node;
    }
    if (node->pNext == nullptr) m_pTail = node;
    return node;
  }

  // Unlinks and deletes a node that is no longer in the index.
  void Unlink(ELSTR* node) {
    (node->pPrev != nullptr ? node->pPrev->pNext : m_pHead) = node->pNext;
    (node->pNext != nullptr ? node->pNext->pPrev : m_pTail) = node->pPrev;
    delete node;
    --m_nCount;
    m_pLastFound = nullptr;
  }

 protected:
  ELSTR* m_pHead = nullptr;
  ELSTR* m_pTail = nullptr;
  ELSTR** m_ppIndex = nullptr;  // entries 0..m_nCount-1 in use while m_nGrowBy != 0
  int m_nCount = 0;
  int m_nGrowBy = 128;          // 0: list mode
  int m_nIndexSize = 128;       // capacity of m_ppIndex
  ELSTR* m_pLastFound = nullptr;
  bool m_bUseCache = true;
};
