// Conversion and word steps alike on every system; what a character is
// (letter or not, and a single-byte code page's table) is the system's
// part: ansi_text_icu.cpp, ansi_text_windows.cpp. UTF-8 is decoded here
// rather than by the system, so the same note gives the same words
// everywhere.
#include "platform/text/ansi_text.h"

#include "platform/text/code_page.h"
#include "platform/text/utf8.h"

namespace {

constexpr int kUtf8CodePage = 65001;

void Build(int codePage, ansi_detail::ByteTable& table) {
  table = ansi_detail::ByteTable{};
  // The lower half is ASCII in every supported code page. ICU's IBM 866
  // table swaps three control bytes (1A, 1C, 7F); Windows does not.
  for (int b = 0; b < 0x80; ++b) {
    table.wide[b] = static_cast<char16_t>(b);
    table.wordByte[b] = ansi_detail::IsWordChar(static_cast<char32_t>(b));
  }
  table.utf8 = codePage == kUtf8CodePage;
  table.codePage = codePage;
  if (!table.utf8) {
    ansi_detail::FillSingleByte(codePage, table);
    return;
  }
  for (char32_t c = 0x80; c < 0x800; ++c) table.wordChar2[c] = ansi_detail::IsWordChar(c);
}

// The start of a well-formed sequence that the end of text has cut short.
bool IsCutCharacter(std::string_view text, std::size_t pos, std::size_t length) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  return pos + length == text.size() && lead >= 0xC2 && lead <= 0xF4;
}

// Writes the units of text to out, which has room for one a byte (a
// character never takes more units than bytes), and returns how many.
std::size_t Utf8ToWideInto(std::string_view text, bool dropCutTail, char16_t* out) {
  char16_t* const begin = out;
  const std::size_t size = text.size();
  std::size_t pos = 0;
  while (pos < size) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
      *out++ = lead;
      ++pos;
      continue;
    }
    // Two-byte characters (Cyrillic, Greek, accented Latin) without the
    // general decoder.
    if (lead >= 0xC2 && lead <= 0xDF && pos + 1 < size) {
      const auto next = static_cast<unsigned char>(text[pos + 1]);
      if ((next & 0xC0) == 0x80) {
        *out++ = static_cast<char16_t>(((lead & 0x1F) << 6) | (next & 0x3F));
        pos += 2;
        continue;
      }
    }
    char32_t c;
    const std::size_t length = DecodeUtf8(text, pos, &c);
    if (c == kIllFormed) {
      if (dropCutTail && IsCutCharacter(text, pos, length)) break;
      c = 0xFFFD;
    }
    if (c < 0x10000) {
      *out++ = static_cast<char16_t>(c);
    } else {
      *out++ = static_cast<char16_t>(0xD7C0 + (c >> 10));
      *out++ = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
    pos += length;
  }
  return static_cast<std::size_t>(out - begin);
}

std::u16string Utf8ToWide(std::string_view text, bool dropCutTail) {
  // A word's few bytes are decoded on the stack, so that its string is
  // made at its length (short ones need no allocation at all).
  constexpr std::size_t kShort = 64;
  if (text.size() <= kShort) {
    char16_t units[kShort];
    return std::u16string(units, Utf8ToWideInto(text, dropCutTail, units));
  }
  std::u16string wide(text.size(), u'\0');
  wide.resize(Utf8ToWideInto(text, dropCutTail, wide.data()));
  return wide;
}

// A code page of one byte a character: each byte through its table into
// wide, which holds bytes.size() units.
void BytesToWide(const ansi_detail::ByteTable& table, std::string_view bytes, char16_t* wide) {
  for (std::size_t i = 0; i < bytes.size(); ++i) wide[i] = table.wide[static_cast<unsigned char>(bytes[i])];
}

std::u16string Convert(std::string_view bytes, bool dropCutTail) {
  const ansi_detail::ByteTable& table = ansi_detail::CurrentTable();
  if (table.utf8) return Utf8ToWide(bytes, dropCutTail);
  if (table.multiByteToWide != nullptr) return table.multiByteToWide(table.codePage, bytes, dropCutTail);
  std::u16string wide(bytes.size(), u'\0');
  BytesToWide(table, bytes, wide.data());
  return wide;
}

}  // namespace

std::u16string AnsiToWide(std::string_view bytes) { return Convert(bytes, false); }

void AnsiToWide(std::string_view bytes, std::u16string& wide) {
  const ansi_detail::ByteTable& table = ansi_detail::CurrentTable();
  if (table.utf8) {
    // A character never takes more units than bytes.
    wide.resize(bytes.size());
    wide.resize(Utf8ToWideInto(bytes, false, wide.data()));
    return;
  }
  if (table.multiByteToWide != nullptr) {
    wide = table.multiByteToWide(table.codePage, bytes, false);
    return;
  }
  wide.resize(bytes.size());
  BytesToWide(table, bytes, wide.data());
}

std::u16string AnsiPrefixToWide(std::string_view bytes) { return Convert(bytes, true); }

namespace ansi_detail {

const ByteTable& CurrentTable() {
  static ByteTable table;
  static int builtFor = 0;
  const int codePage = AnsiCodePage();
  if (codePage != builtFor) {
    Build(codePage, table);
    builtFor = codePage;
  }
  return table;
}

std::size_t Utf8WordStep(std::string_view text, std::size_t pos, bool* wordChar) {
  char32_t c;
  const std::size_t length = DecodeUtf8(text, pos, &c);
  *wordChar = c != kIllFormed && IsWordChar(c);
  return length;
}

}  // namespace ansi_detail
