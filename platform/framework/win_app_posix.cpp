#include "platform/framework/win_app.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/text/file_names.h"

namespace {

// Started with standard input, output or error closed (some launchers do
// so), the next file opened would take that number: the display connection
// or notes.ndx would then receive what is written there. /dev/null takes
// each closed one first.
void OpenClosedStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (::open("/dev/null", O_RDWR) < 0) return;
  }
}

std::u16string NameWithoutExtension(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return FromNativeName(name);
}

}  // namespace

int CWinApp::Run(int argc, char** argv) {
  OpenClosedStandardStreams();
  m_pszAppName = NameWithoutExtension(argc > 0 && argv[0] != nullptr ? argv[0] : "scriblet");
  for (int i = 1; i < argc; ++i) m_arguments.push_back(FromNativeName(argv[i]));
  InitInstance();
  return m_nExitCode;
}
