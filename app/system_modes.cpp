#include "app/system_modes.h"

#include <cstdio>
#include <string>

#include "app/new_note.h"
#include "app/progress_window.h"
#include "app/scriblet_dlg.h"
#include "index/refresh_reporting_memory.h"
#include "index/search_window.h"
#include "platform/text/file_names.h"
#include "platform/window/gui.h"
#include "res/help_text.h"
#include "res/resource_ids.h"
#include "search/search_dlg.h"

namespace {

// Shells show a window under the desktop entry that starts its mode; the
// instructions have none of their own and go with the search.
constexpr const char* kNewNoteEntry = "scriblet-new-note";
constexpr const char* kSearchEntry = "scriblet-search-notes";

// DoModal's -1: the window could not be made. Says so once on standard error.
int WindowResult(int modalResult) {
  if (modalResult != -1) return 0;
  std::fputs("scriblet: no display to show the window on (set DISPLAY)\n", stderr);
  return 1;
}

// False when standard output could not take the text (closed, a full disk).
bool PrintToStandardOutput(const std::string& text) {
  if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return true;
  std::fputs("scriblet: cannot write to standard output\n", stderr);
  return false;
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
  SetGuiIdentity(IDR_MAINFRAME, kNewNoteEntry);
  return CreateNewNote(m_env, folder, m_caption) ? 0 : 1;
}

// Without a display the index is still brought up to date before the
// missing window is reported. Exhausted memory ends the run with status 1.
int SystemModes::Search(const std::u16string& folder) {
  SetGuiIdentity(IDR_MAINFRAME, kSearchEntry);
  DialogSearchWindow window(m_env);
  ProgressWindow progress(m_caption);
  if (!RefreshReportingMemory(m_env, folder, window, &progress)) return 1;
  return window.exitCode;
}

int SystemModes::Instructions() {
  SetGuiIdentity(IDR_MAINFRAME, kSearchEntry);
  CScribletDlg dlg;
  return WindowResult(dlg.DoModal());
}

int SystemModes::Help() {
  if (EnsureGuiApplication()) return Instructions();
  // A terminal wants plain line ends, and UTF-8 is what terminals read today.
  std::u16string text(kHelpText);
  std::erase(text, u'\r');
  return PrintToStandardOutput(ToNativeName(text)) ? 0 : 1;
}

int SystemModes::Version() {
  return PrintToStandardOutput("scriblet " SCRIBLET_VERSION "\n") ? 0 : 1;
}
