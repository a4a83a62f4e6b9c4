#pragma once
// Start-up's locale step: the ANSI code page from SCRIBLET_CODEPAGE or the
// locale charset, then the user locale from LC_ALL, LC_CTYPE or LANG.

#include <string>

struct LocaleSetup {
  std::string language;  // English language name, e.g. "Russian"
  std::string country;   // English country name, e.g. "Russia"
  int codePage;          // the ANSI code page now in force
  bool userLowerCase;    // false: the step failed and only A to Z are lowered
};

// Sets the code page and the lower-casing mode for the whole run. A C or
// POSIX locale, or one the system does not have, fails the step quietly.
LocaleSetup SetUpLocale();
