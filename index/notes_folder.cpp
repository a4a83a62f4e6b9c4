#include "index/notes_folder.h"

#include <algorithm>
#include <utility>

#include "platform/text/file_names.h"
#include "platform/text/lower_case.h"

bool IsNoteName(const std::u16string& name) {
  if (name.size() < 4 || name.find(u':') != std::u16string::npos) return false;
  std::u16string tail = name.substr(name.size() - 4);
  for (char16_t& c : tail) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
  }
  return tail == u".txt";
}

std::vector<NoteEntry> FindNotes(Env& env, const std::u16string& folder,
                                 const std::function<void(std::size_t)>& listed) {
  // Each name upper-cased once, not at every comparison.
  std::vector<std::pair<std::u16string, NoteEntry>> keyed;
  env.ListFiles(folder, IsNoteName, [&](NoteEntry entry) {
    std::u16string key = UpperCaseUnits(entry.name);
    keyed.emplace_back(std::move(key), std::move(entry));
    if (listed && keyed.size() % 256 == 0) listed(keyed.size());
  });
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return a.second.name < b.second.name;
  });
  std::vector<NoteEntry> notes;
  notes.reserve(keyed.size());
  for (auto& [key, note] : keyed) notes.push_back(std::move(note));
  return notes;
}

bool IsNote(Env& env, const std::u16string& folder, const std::u16string& name) {
  return IsNoteName(name) && IsPlainFileName(name) && env.IsFile(folder + name);
}
