#include "platform/os/editor.h"

#include <cstdlib>

#include "platform/text/file_names.h"

namespace {

bool EditorConfigured() {
  const char* configured = std::getenv("SCRIBLET_EDITOR");
  return configured != nullptr && *configured != '\0';
}

}  // namespace

std::string EditorProgram() {
  return EditorConfigured() ? std::getenv("SCRIBLET_EDITOR") : "xdg-open";
}

std::u16string EditorNotStartedMessage(const std::u16string& notePath) {
  std::u16string text = u"Не удалось запустить редактор «" + FromNativeName(EditorProgram()) +
                        u"».\nЗаметка: " + notePath + u"\n";
  if (EditorConfigured()) {
    text += u"Укажите в переменной окружения SCRIBLET_EDITOR программу, которая есть в "
            u"системе: её имя или полный путь, без аргументов.";
  } else {
    text += u"Установите xdg-open (пакет xdg-utils) или укажите редактор в переменной "
            u"окружения SCRIBLET_EDITOR: имя программы или полный путь, например "
            u"SCRIBLET_EDITOR=gedit.";
  }
  return text;
}
