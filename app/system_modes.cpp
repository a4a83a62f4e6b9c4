#include "app/system_modes.h"

#include <cstdio>

#include "app/new_note.h"
#include "app/progress_window.h"
#include "app/scriblet_dlg.h"
#include "index/refresh.h"
#include "index/search_window.h"
#include "search/search_dlg.h"

namespace {

// DoModal's -1: the window could not be made. Says so once on standard error.
int WindowResult(int modalResult) {
  if (modalResult != -1) return 0;
  std::fputs("scriblet: no display to show the window on (set DISPLAY)\n", stderr);
  return 1;
}

// Shows the search window over the freshly refreshed index.
class DialogSearchWindow : public SearchWindow {
 public:
  explicit DialogSearchWindow(Env& env) : m_env(env) {}

  void Show(WordIndex& words, const std::u16string& notesFolder) override {
    CSearchDlg dlg(m_env);
    dlg.m_pWordIndex = &words;
    dlg.m_strFolder = notesFolder;
    exitCode = WindowResult(dlg.DoModal());
  }

  int exitCode = 0;

 private:
  Env& m_env;
};

}  // namespace

int SystemModes::NewNote(const std::u16string& folder) {
  return CreateNewNote(m_env, folder, m_caption) ? 0 : 1;
}

// Without a display the index is still brought up to date before the
// missing window is reported.
int SystemModes::Search(const std::u16string& folder) {
  DialogSearchWindow window(m_env);
  ProgressWindow progress(m_caption);
  Refresh(m_env, folder, window, &progress);
  return window.exitCode;
}

int SystemModes::Instructions() {
  CScribletDlg dlg;
  return WindowResult(dlg.DoModal());
}
