#pragma once
// The application object's frame: it keeps the program's arguments and
// name, runs InitInstance once and ends the process with its exit code.

#include <string>
#include <vector>

#include "platform/framework/windows_names.h"


class CWinApp {
 public:
  CWinApp() = default;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;
  virtual ~CWinApp() = default;

  // Records the arguments, derives the application name from argv[0] (the
  // file name without its extension), runs InitInstance and returns the
  // exit code. InitInstance returning FALSE means no message loop follows.
  int Run(int argc, char** argv);

  virtual BOOL InitInstance() = 0;

  // The program's arguments after its own name, as wide text.
  const std::vector<std::u16string>& Arguments() const { return m_arguments; }

  // Caption of the program's message boxes.
  std::u16string m_pszAppName;

  // What the process returns; 0 unless a mode could not do its job.
  int m_nExitCode = 0;

 private:
  std::vector<std::u16string> m_arguments;
};
