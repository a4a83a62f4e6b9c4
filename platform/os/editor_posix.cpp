#include "platform/os/editor.h"

#include <cstdlib>

bool EditorConfigured() {
  const char* configured = std::getenv("SCRIBLET_EDITOR");
  return configured != nullptr && *configured != '\0';
}

std::string EditorProgram() {
  return EditorConfigured() ? std::getenv("SCRIBLET_EDITOR") : "xdg-open";
}

const std::u16string_view kDefaultEditorHint =
    u"Установите xdg-open (пакет xdg-utils) или укажите редактор в переменной "
    u"окружения SCRIBLET_EDITOR: имя программы или полный путь, например "
    u"SCRIBLET_EDITOR=gedit.";
