#include "index/notes_folder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

#include "platform/text/file_names.h"
#include "platform/text/lower_case.h"

namespace {

// UpperCaseUnits one unit at a time, without a string for each name: the
// system's mapping is asked once for each block of 256 units a listing
// meets (a few: names keep to a script or two), then looked up.
class UpperCaseTable {
 public:
  char16_t operator()(char16_t unit) {
    std::u16string& block = m_blocks[unit >> 8];
    if (block.empty()) Fill(block, unit >> 8);
    return block[unit & 0xFF];
  }

 private:
  static void Fill(std::u16string& block, unsigned first) {
    std::u16string units(256, u'\0');
    for (unsigned i = 0; i < 256; ++i) units[i] = static_cast<char16_t>(first << 8 | i);
    block = UpperCaseUnits(std::move(units));
  }

  std::array<std::u16string, 256> m_blocks;
};

// A note's place in the order, small enough to sort in place: most
// comparisons are settled by the first units of its upper-cased name.
struct Place {
  // The first eight units of the upper-cased name, four in each number,
  // the first one highest, zero-padded: where these numbers differ they
  // order the names as their upper-cased units do (a name that ends early
  // is the other's beginning); equal ones leave it to the whole names.
  std::uint64_t head[2];
  std::uint32_t note;  // the entry, in listing order
};

// The notes in listing order, in blocks that stay where they are as more
// arrive: the listing cannot tell beforehand how many it will find.
class Listed {
 public:
  std::size_t size() const { return m_size; }
  NoteEntry& operator[](std::size_t i) { return m_blocks[i / kBlock][i % kBlock]; }
  void Add(NoteEntry&& entry) {
    if (m_size % kBlock == 0) {
      m_blocks.emplace_back();
      m_blocks.back().reserve(kBlock);
    }
    m_blocks.back().push_back(std::move(entry));
    ++m_size;
  }

 private:
  static constexpr std::size_t kBlock = 1024;
  std::vector<std::vector<NoteEntry>> m_blocks;
  std::size_t m_size = 0;
};

// Sorts places by less, which compares head[0] first. A large listing is
// put in the order of head[0] a unit at a time, from the fourth to the
// first, by counting (a radix sort, free of the comparisons whose outcome
// a processor cannot guess), and only runs of equal head[0] are left to
// less. Below kRadixFrom notes the counting costs more than it saves.
template <class Less>
void SortPlaces(std::vector<Place>& places, const Less& less) {
  constexpr std::size_t kRadixFrom = std::size_t{1} << 15;
  if (places.size() < kRadixFrom) {
    std::sort(places.begin(), places.end(), less);
    return;
  }
  constexpr std::size_t kValues = std::size_t{1} << 16;
  const auto unit = [](const Place& place, unsigned n) {
    return static_cast<std::size_t>(place.head[0] >> (48 - 16 * n) & 0xFFFF);
  };
  std::vector<std::uint32_t> counts(4 * kValues);
  for (const Place& place : places) {
    for (unsigned n = 0; n < 4; ++n) ++counts[n * kValues + unit(place, n)];
  }
  std::vector<Place> dealt(places.size());
  for (unsigned n = 4; n-- > 0;) {
    std::uint32_t* const next = &counts[n * kValues];
    if (next[unit(places[0], n)] == places.size()) continue;  // all alike
    std::uint32_t sum = 0;
    for (std::size_t value = 0; value < kValues; ++value) sum += std::exchange(next[value], sum);
    for (const Place& place : places) dealt[next[unit(place, n)]++] = place;
    places.swap(dealt);
  }
  for (auto run = places.begin(); run != places.end();) {
    const auto end = std::find_if(run + 1, places.end(),
                                  [&](const Place& place) { return place.head[0] != run->head[0]; });
    if (end - run > 1) std::sort(run, end, less);
    run = end;
  }
}

}  // namespace

bool IsNoteName(const std::u16string& name) {
  if (name.size() < 4 || name.find(u':') != std::u16string::npos) return false;
  const std::u16string_view tail = std::u16string_view(name).substr(name.size() - 4);
  const auto lower = [](char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
  };
  return tail[0] == u'.' && lower(tail[1]) == u't' && lower(tail[2]) == u'x' && lower(tail[3]) == u't';
}

bool IsTempIndexName(const std::u16string& name) {
  constexpr std::u16string_view prefix = u"notes.ndx.~";
  if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) return false;
  return std::all_of(name.begin() + prefix.size(), name.end(), [](char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
  });
}

std::vector<NoteEntry> FindNotes(Env& env, const std::u16string& folder,
                                 const std::function<void(std::size_t)>& listed,
                                 ListingFacts* facts) {
  ListingFacts met;
  Listed found;
  std::vector<Place> places;
  UpperCaseTable upper;
  const auto wanted = [&met, facts](const std::u16string& name) {
    if (IsNoteName(name)) return true;
    if (facts != nullptr && IsTempIndexName(name)) met.tempIndexSeen = true;
    return false;
  };
  met.whole = env.ListFiles(folder, wanted, [&](NoteEntry&& entry) {
    Place place{{0, 0}, static_cast<std::uint32_t>(found.size())};
    const std::size_t units = std::min<std::size_t>(entry.name.size(), 8);
    for (std::size_t i = 0; i < 8; ++i) {
      place.head[i / 4] = place.head[i / 4] << 16 | (i < units ? upper(entry.name[i]) : 0u);
    }
    places.push_back(place);
    found.Add(std::move(entry));
    if (listed && found.size() % 256 == 0) listed(found.size());
  });
  if (facts != nullptr) *facts = met;
  // Ties of the first eight units are settled by the whole names, each
  // unit upper-cased as it is compared.
  const auto before = [&](const Place& a, const Place& b) {
    if (a.head[0] != b.head[0]) return a.head[0] < b.head[0];
    if (a.head[1] != b.head[1]) return a.head[1] < b.head[1];
    const std::u16string& nameA = found[a.note].name;
    const std::u16string& nameB = found[b.note].name;
    // Equal heads: the units both names have among the first eight agree.
    const std::size_t common = std::min(nameA.size(), nameB.size());
    for (std::size_t i = 8; i < common; ++i) {
      const char16_t unitA = upper(nameA[i]);
      const char16_t unitB = upper(nameB[i]);
      if (unitA != unitB) return unitA < unitB;
    }
    if (nameA.size() != nameB.size()) return nameA.size() < nameB.size();
    return nameA < nameB;
  };
  SortPlaces(places, before);
  std::vector<NoteEntry> notes;
  notes.reserve(found.size());
  // The entries are gathered in an order of their own: each one's memory is
  // asked for a few notes ahead, so that the waits for them overlap.
  constexpr std::size_t kAhead = 8;
  for (std::size_t i = 0; i < places.size(); ++i) {
    if (i + kAhead < places.size()) {
      const auto* ahead = reinterpret_cast<const char*>(&found[places[i + kAhead].note]);
      __builtin_prefetch(ahead);
      __builtin_prefetch(ahead + sizeof(NoteEntry) - 1);
    }
    notes.push_back(std::move(found[places[i].note]));
  }
  return notes;
}

bool IsNote(Env& env, const std::u16string& folder, const std::u16string& name) {
  return IsNoteName(name) && IsPlainFileName(name) && env.IsFile(folder + name);
}
