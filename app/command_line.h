#pragma once
// How the program's arguments become a mode token and a folder text.

#include <string>
#include <vector>

// The arguments joined by single spaces, with leading control characters
// and spaces skipped and surrounding white space trimmed.
std::u16string ArgumentText(const std::vector<std::u16string>& arguments);

struct CommandLine {
  std::u16string mode;    // first token, as typed (not yet lower-cased)
  std::u16string folder;  // second token exactly as typed; may be empty
};

// Splits the argument text at spaces (U+0020 only; a tab is part of a
// token, quotes are ordinary characters). Text after the folder is ignored.
CommandLine ParseCommandLine(const std::u16string& argumentText);
