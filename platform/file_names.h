#pragma once
// Linux file names are bytes; the program holds them as UTF-16. Well-formed
// UTF-8 decodes as usual; any other byte b maps to the lone surrogate
// U+DC80 + (b - 0x80) and back, so every name round-trips exactly.

#include <string>

std::u16string FromNativeName(const std::string& bytes);

// The exact inverse of FromNativeName. A lone surrogate outside
// U+DC80..U+DCFF, which no file name produces, becomes U+FFFD's bytes.
std::string ToNativeName(const std::u16string& name);

// True when name can only name a file directly inside a folder: not empty,
// not "." or "..", and without the system's path separators or a zero code
// unit (on Windows also without ':', which names a drive or a stream).
bool IsPlainFileName(const std::u16string& name);
