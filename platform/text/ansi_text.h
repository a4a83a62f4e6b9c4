#pragma once
// Note text is bytes in the ANSI code page (AnsiCodePage()). This turns those
// bytes into UTF-16 and splits them into words. Neither ever fails: every
// byte sequence converts to something and splits into some words.
//
// Conversion: in a single-byte code page each byte becomes one character;
// a byte the code page leaves undefined becomes the character of the same
// value (U+0098 for 0x98 in 1251). In 65001 (UTF-8) each ill-formed
// subsequence becomes one U+FFFD.
//
// Words: a word is a maximal run of letters or digits. In a single-byte code
// page each byte is judged by the character it converts to; undefined bytes
// are never part of a word. In 65001 a character is judged whole, and
// ill-formed bytes separate words. Combining marks count as letters so that
// scripts that use them (Thai, Hebrew points, Vietnamese tones) keep their
// words whole.
//
// Not thread-safe: the tables are rebuilt on first use after the code page
// changes; the program is single-threaded.

#include <cstddef>
#include <string>
#include <string_view>

// Converts bytes from the ANSI code page.
std::u16string AnsiToWide(std::string_view bytes);
// The same into wide, whose storage is reused: converting many words one
// after another then allocates only for the longest so far.
void AnsiToWide(std::string_view bytes, std::u16string& wide);

// As AnsiToWide, for bytes cut from a longer text (a preview): in 65001 an
// incomplete character at the very end is dropped instead of becoming
// U+FFFD. Ill-formed bytes elsewhere still become U+FFFD.
std::u16string AnsiPrefixToWide(std::string_view bytes);

namespace ansi_detail {

// What one byte is in the current code page. In 65001 only the ASCII half
// is filled in; two-byte characters are judged by wordChar2, other bytes
// go through Utf8WordStep.
struct ByteTable {
  bool utf8 = false;
  // Set by the system for a code page of up to two bytes a character (932,
  // 936, 949, 950), which only it converts; its words are still judged a
  // byte at a time. Returns the units of bytes, an incomplete character at
  // the very end dropped when dropCutTail.
  std::u16string (*multiByteToWide)(int codePage, std::string_view bytes, bool dropCutTail) = nullptr;
  int codePage = 0;
  bool wordByte[256] = {};
  char16_t wide[256] = {};
  // In 65001, by code point below U+0800: whether it is a letter or digit.
  // Looked up here since asking the system for each character of a
  // Cyrillic or Greek note costs more than the rest of the split.
  bool wordChar2[0x800] = {};
};

// The table for AnsiCodePage(), rebuilt when it has changed.
const ByteTable& CurrentTable();

// For the UTF-8 character or ill-formed subsequence starting at text[pos]
// (pos < text.size()): returns its length in bytes (at least 1) and sets
// *wordChar to whether it is a well-formed letter or digit.
std::size_t Utf8WordStep(std::string_view text, std::size_t pos, bool* wordChar);

// The system's part (ansi_text_icu.cpp, ansi_text_windows.cpp):

// Whether code point c belongs to a word: a letter, a digit or a combining
// mark.
bool IsWordChar(char32_t c);

// Fills bytes 0x80 to 0xFF of table for codePage, which is not 65001. A
// byte the code page leaves undefined alone keeps the character of its own
// value and is no letter; so does every byte of a code page the system
// lacks. Sets multiByteToWide when characters may take two bytes.
void FillSingleByte(int codePage, ByteTable& table);

}  // namespace ansi_detail

// Calls onWord(std::string_view) for each word of text, in order, with the
// word's bytes. A zero byte separates words like any other non-letter; a
// caller whose text ends at its first zero byte cuts it there first.
template <class F>
void ForEachWord(std::string_view text, F&& onWord) {
  const ansi_detail::ByteTable& table = ansi_detail::CurrentTable();
  const std::size_t size = text.size();
  std::size_t start = 0;
  bool inWord = false;
  std::size_t pos = 0;
  while (pos < size) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    bool wordChar;
    std::size_t step = 1;
    if (!table.utf8 || byte < 0x80) {
      wordChar = table.wordByte[byte];
    } else if (byte >= 0xC2 && byte <= 0xDF && pos + 1 < size &&
               (static_cast<unsigned char>(text[pos + 1]) & 0xC0) == 0x80) {
      wordChar = table.wordChar2[((byte & 0x1Fu) << 6) | (static_cast<unsigned char>(text[pos + 1]) & 0x3Fu)];
      step = 2;
    } else {
      step = ansi_detail::Utf8WordStep(text, pos, &wordChar);
    }
    if (wordChar && !inWord) {
      start = pos;
      inWord = true;
    } else if (!wordChar && inWord) {
      onWord(text.substr(start, pos - start));
      inWord = false;
    }
    pos += step;
  }
  if (inWord) onWord(text.substr(start));
}
