// CWinApp on Windows: the arguments are the process's own command line, raw,
// after the program's name; argc and argv, which the C runtime has already
// split and unquoted, are not used.
#include "platform/framework/win_app.h"

#include "platform/os/windows_api.h"

namespace {

// Skips the program's name: it runs up to the first character at or below
// U+0020 outside double quotes; every double quote switches inside and out.
std::u16string ArgumentsOf(const std::u16string& commandLine) {
  std::size_t pos = 0;
  bool quoted = false;
  for (; pos < commandLine.size(); ++pos) {
    const char16_t c = commandLine[pos];
    if (c == u'"') quoted = !quoted;
    else if (c <= u' ' && !quoted) break;
  }
  return commandLine.substr(pos);
}

std::u16string ProgramName() {
  std::u16string path(32768, u'\0');
  const DWORD length = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(path.data()),
                                          static_cast<DWORD>(path.size()));
  path.resize(length);
  std::u16string name = path.substr(path.find_last_of(u"\\/") + 1);
  const auto dot = name.find_last_of(u'.');
  if (dot != std::u16string::npos && dot > 0) name.resize(dot);
  return name.empty() ? u"scriblet" : name;
}

}  // namespace

int CWinApp::Run(int, char**) {
  m_pszAppName = ProgramName();
  const wchar_t* commandLine = GetCommandLineW();
  if (commandLine != nullptr) m_arguments.push_back(ArgumentsOf(FromWide(commandLine)));
  InitInstance();
  return m_nExitCode;
}
