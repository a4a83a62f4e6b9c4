#pragma once
// The Windows build has no ICU. app/command_line.cpp asks ICU only whether a
// character above U+00FF is white space; on Windows the C runtime's wide
// space class answers, as the program's design has it there.
#include <cwctype>

inline bool u_isUWhiteSpace(char16_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; }
