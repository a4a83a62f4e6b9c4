#include "app/system_modes.h"

#include "app/new_note.h"

int SystemModes::NewNote(const std::u16string& folder) {
  return CreateNewNote(m_env, folder, m_caption) ? 0 : 1;
}

// The search mode and the instructions window are not part of the program
// yet; both end quietly.
int SystemModes::Search(const std::u16string&) { return 0; }

int SystemModes::Instructions() { return 0; }
