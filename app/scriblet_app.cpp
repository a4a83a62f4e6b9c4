#include "app/scriblet_app.h"

#include "app/command_line.h"
#include "app/system_modes.h"
#include "platform/window/desktop_env.h"
#include "platform/text/locale_setup.h"
#include "platform/text/lower_case.h"

BOOL CScribletApp::InitInstance() {
  SetUpLocale();

  CommandLine line = ParseCommandLine(ArgumentText(Arguments()));
  LowerCaseInPlace(line.mode);

  DesktopEnv env;
  SystemModes systemModes(env, m_pszAppName);
  ScribletModes& modes = m_modes != nullptr ? *m_modes : systemModes;
  if (line.mode == u"/n" && !line.folder.empty()) {
    m_nExitCode = modes.NewNote(line.folder);
  } else if (line.mode == u"/s" && !line.folder.empty()) {
    m_nExitCode = modes.Search(line.folder);
  } else if (line.mode == u"--help" || line.mode == u"-h") {
    m_nExitCode = modes.Help();
  } else if (line.mode == u"--version") {
    m_nExitCode = modes.Version();
  } else {
    m_nExitCode = modes.Instructions();
  }
  return FALSE;
}
