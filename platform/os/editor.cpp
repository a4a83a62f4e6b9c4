// The message about an editor that could not be started, alike on every
// system; which editor and the hint are the system's (editor_posix.cpp,
// editor_windows.cpp).
#include "platform/os/editor.h"

#include "platform/text/file_names.h"

std::u16string EditorNotStartedMessage(const std::u16string& notePath) {
  std::u16string text = u"Не удалось запустить редактор «" + FromNativeName(EditorProgram()) +
                        u"».\nЗаметка: " + notePath + u"\n";
  if (EditorConfigured()) {
    text += u"Укажите в переменной окружения SCRIBLET_EDITOR программу, которая есть в "
            u"системе: её имя или полный путь, без аргументов.";
  } else {
    text += kDefaultEditorHint;
  }
  return text;
}
