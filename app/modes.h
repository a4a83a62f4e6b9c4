#pragma once
// The program's modes, as the application object dispatches to them. Each
// returns the process exit code: 0, or non-zero when the mode could not do
// its job (a note not created, no display for a window, no standard output).

#include <string>

class ScribletModes {
 public:
  virtual ~ScribletModes() = default;
  // folder is never empty.
  virtual int NewNote(const std::u16string& folder) = 0;
  // folder is never empty.
  virtual int Search(const std::u16string& folder) = 0;
  virtual int Instructions() = 0;
  // "--help" or "-h": the instructions window, or without a display the
  // help text on standard output.
  virtual int Help() = 0;
  // "--version": the program's name and version on standard output.
  virtual int Version() = 0;
};
