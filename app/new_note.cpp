#include "app/new_note.h"

#include <ctime>
#include <exception>

namespace {

constexpr long kFirstYear = 1970;
constexpr long kLastYear = 3000;

std::u16string Widen(const char* ascii) {
  std::u16string out;
  for (const char* p = ascii; *p != '\0'; ++p) out.push_back(static_cast<char16_t>(*p));
  return out;
}

}  // namespace

std::u16string NoteFileName(std::int64_t utcSeconds, std::int64_t utcOffset) {
  const std::time_t local = static_cast<std::time_t>(utcSeconds + utcOffset);
  std::tm fields{};
  if (::gmtime_r(&local, &fields) == nullptr) return u"Invalid DateTime";
  const long year = fields.tm_year + 1900L;
  if (year < kFirstYear || year > kLastYear) return u"Invalid DateTime";
  char name[40];
  std::strftime(name, sizeof name, "note-%Y.%m.%d-%H.%M.%S.txt", &fields);
  return Widen(name);
}

bool CreateNewNote(Env& env, const std::u16string& folderText, const std::u16string& caption) {
  // Each level of the chain in turn; failures show up when the note is made.
  for (std::size_t slash = folderText.find(u'/'); slash != std::u16string::npos;
       slash = folderText.find(u'/', slash + 1)) {
    env.CreateDirectory(folderText.substr(0, slash));
  }
  env.CreateDirectory(folderText);

  std::u16string notePath = folderText;
  if (notePath.back() != u'/') notePath.push_back(u'/');
  notePath += NoteFileName(env.Now(), env.UtcOffsetNow());

  bool created = false;
  if (auto file = env.OpenForWrite(notePath)) {
    try {
      file->Close();
      created = true;
    } catch (const std::exception&) {
      created = false;
    }
  }
  if (!created) {
    env.ShowWarning(caption, u"Ошибка создания файла " + notePath);
    return false;
  }
  env.StartEditor(notePath, folderText);
  return true;
}
