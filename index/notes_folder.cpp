#include "index/notes_folder.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "platform/text/file_names.h"
#include "platform/text/lower_case.h"

namespace {

// A note's place in the order, small enough to sort in place: most
// comparisons are settled by the first units of its upper-cased name.
struct Place {
  // The first eight units of the upper-cased name, four in each number,
  // the first one highest, zero-padded: as numbers these order as the
  // units do, since a name holds no zero unit.
  std::uint64_t head[2];
  std::size_t keyStart;  // the whole upper-cased name in the keys text
  std::uint32_t keyLength;
  std::uint32_t note;  // the entry, in listing order
};

// Appends name upper-cased by UpperCaseUnits to keys. ASCII letters are
// upper-cased alike by every system; only other names are handed to it.
void AppendKey(std::u16string& keys, const std::u16string& name) {
  const bool ascii = std::all_of(name.begin(), name.end(), [](char16_t c) { return c < 0x80; });
  if (!ascii) {
    keys += UpperCaseUnits(name);
    return;
  }
  const std::size_t start = keys.size();
  keys += name;
  for (auto c = keys.begin() + static_cast<std::ptrdiff_t>(start); c != keys.end(); ++c) {
    if (*c >= u'a' && *c <= u'z') *c = static_cast<char16_t>(*c - (u'a' - u'A'));
  }
}

// Four units of key from start on, as Place::head holds them.
std::uint64_t Head(std::u16string_view key, std::size_t start) {
  std::uint64_t head = 0;
  for (std::size_t i = start; i < start + 4; ++i) head = head << 16 | (i < key.size() ? key[i] : 0u);
  return head;
}

}  // namespace

bool IsNoteName(const std::u16string& name) {
  if (name.size() < 4 || name.find(u':') != std::u16string::npos) return false;
  std::u16string tail = name.substr(name.size() - 4);
  for (char16_t& c : tail) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
  }
  return tail == u".txt";
}

bool IsTempIndexName(const std::u16string& name) {
  constexpr std::u16string_view prefix = u"notes.ndx.";
  if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) return false;
  return std::all_of(name.begin() + prefix.size(), name.end(), [](char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
  });
}

std::vector<NoteEntry> FindNotes(Env& env, const std::u16string& folder,
                                 const std::function<void(std::size_t)>& listed,
                                 bool* tempIndexSeen) {
  if (tempIndexSeen != nullptr) *tempIndexSeen = false;
  std::vector<NoteEntry> found;
  // Each name upper-cased once, not at every comparison, into one text.
  std::u16string keys;
  std::vector<Place> places;
  const auto wanted = [tempIndexSeen](const std::u16string& name) {
    if (IsNoteName(name)) return true;
    if (tempIndexSeen != nullptr && IsTempIndexName(name)) *tempIndexSeen = true;
    return false;
  };
  env.ListFiles(folder, wanted, [&](NoteEntry entry) {
    const std::size_t start = keys.size();
    AppendKey(keys, entry.name);
    const std::u16string_view key = std::u16string_view(keys).substr(start);
    places.push_back({{Head(key, 0), Head(key, 4)}, start, static_cast<std::uint32_t>(key.size()),
                      static_cast<std::uint32_t>(found.size())});
    found.push_back(std::move(entry));
    if (listed && found.size() % 256 == 0) listed(found.size());
  });
  const std::u16string_view text = keys;
  std::sort(places.begin(), places.end(), [&](const Place& a, const Place& b) {
    if (a.head[0] != b.head[0]) return a.head[0] < b.head[0];
    if (a.head[1] != b.head[1]) return a.head[1] < b.head[1];
    const int order = text.substr(a.keyStart, a.keyLength).compare(text.substr(b.keyStart, b.keyLength));
    if (order != 0) return order < 0;
    return found[a.note].name < found[b.note].name;
  });
  std::vector<NoteEntry> notes;
  notes.reserve(found.size());
  for (const Place& place : places) notes.push_back(std::move(found[place.note]));
  return notes;
}

bool IsNote(Env& env, const std::u16string& folder, const std::u16string& name) {
  return IsNoteName(name) && IsPlainFileName(name) && env.IsFile(folder + name);
}
