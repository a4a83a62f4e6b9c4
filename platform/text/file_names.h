#pragma once
// Linux file names are bytes; the program holds them as UTF-16. Well-formed
// UTF-8 decodes as usual; any other byte b maps to the lone surrogate
// U+DC80 + (b - 0x80) and back, so every name round-trips exactly.
// Windows names are UTF-16 already; there the conversion only measures a
// name the way Linux would store it. No library: ICU's U8_NEXT and this
// cut ill-formed bytes alike (see utf8.h).

#include <string>
#include <string_view>

std::u16string FromNativeName(std::string_view bytes);

// FromNativeName into out, keeping out's memory: a folder listing decodes
// every entry's name into one string and copies only the notes' names.
void AssignNativeName(std::u16string& out, std::string_view bytes);

// The exact inverse of FromNativeName. A lone surrogate outside
// U+DC80..U+DCFF, which no file name produces, becomes U+FFFD's bytes.
std::string ToNativeName(const std::u16string& name);

// The characters that separate the levels of a path, the one the program
// appends first: '/' on Linux; a backslash, then '/', on Windows.
extern const std::u16string_view kPathSeparators;

// True when name can only name a file directly inside a folder: not empty,
// not "." or "..", and without the system's path separators or a zero code
// unit (on Windows also without ':', which names a drive or a stream).
bool IsPlainFileName(const std::u16string& name);
