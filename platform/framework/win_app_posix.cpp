#include "platform/framework/win_app.h"

#include "platform/text/file_names.h"

namespace {

std::u16string NameWithoutExtension(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return FromNativeName(name);
}

}  // namespace

int CWinApp::Run(int argc, char** argv) {
  m_pszAppName = NameWithoutExtension(argc > 0 && argv[0] != nullptr ? argv[0] : "scriblet");
  for (int i = 1; i < argc; ++i) m_arguments.push_back(FromNativeName(argv[i]));
  InitInstance();
  return m_nExitCode;
}
