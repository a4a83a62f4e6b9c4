#include "app/new_note.h"

#include <cstdio>
#include <exception>

#include "platform/os/editor.h"
#include "platform/text/file_names.h"
#include "platform/text/local_time.h"

std::u16string NoteFileName(std::int64_t utcSeconds, std::int64_t utcOffset) {
  const auto t = ToLocalTime(utcSeconds, utcOffset);
  if (!t) return u"Invalid DateTime";
  char name[64];
  const int length = std::snprintf(name, sizeof name, "note-%04d.%02d.%02d-%02d.%02d.%02d.txt",
                                   t->year, t->month, t->day, t->hour, t->minute, t->second);
  return std::u16string(name, name + length);
}

bool CreateNewNote(Env& env, const std::u16string& folderText, const std::u16string& caption) {
  // Each level of the chain in turn; failures show up when the note is made.
  for (std::size_t slash = folderText.find_first_of(kPathSeparators);
       slash != std::u16string::npos; slash = folderText.find_first_of(kPathSeparators, slash + 1)) {
    env.MakeDirectory(folderText.substr(0, slash));
  }
  env.MakeDirectory(folderText);

  std::u16string notePath = folderText;
  if (kPathSeparators.find(notePath.back()) == std::u16string_view::npos) {
    notePath.push_back(kPathSeparators.front());
  }
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
  // The editor starts in the notes folder, where a relative path would name
  // another file or none.
  if (!env.StartEditor(env.AbsolutePath(notePath), folderText)) {
    env.ShowWarning(caption, EditorNotStartedMessage(notePath));
    return false;
  }
  return true;
}
