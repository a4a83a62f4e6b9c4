#pragma once
// UTF-8 without a library, for the systems where the text layer has no ICU.
// Ill-formed input is cut into the same pieces ICU's U8_NEXT cuts it into
// (each maximal subpart of a well-formed sequence is one piece), so both
// systems read the same bytes as the same characters.

#include <cstddef>
#include <string>
#include <string_view>

// Decodes the character or ill-formed piece starting at text[pos]
// (pos < text.size()). Sets *c to the code point, or to -1 for an
// ill-formed piece, and returns the piece's length in bytes (at least 1).
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t* c);

inline constexpr char32_t kIllFormed = static_cast<char32_t>(-1);

// Appends the UTF-8 bytes of c, which must be a code point (surrogates
// included: they get their three-byte form).
void AppendUtf8(std::string& out, char32_t c);

// Appends c, a code point other than a surrogate, as one or two code units.
void AppendUtf16(std::u16string& out, char32_t c);
