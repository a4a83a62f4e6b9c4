// The text layer's conversion and word test on Windows: the single-byte
// tables come from MultiByteToWideChar, letters and digits from
// IsCharAlphaNumericW. UTF-8 is decoded here rather than by
// MultiByteToWideChar, whose handling of ill-formed bytes differs between
// Windows versions: the same note must give the same words everywhere.
#include "platform/os/windows_api.h"

#include "platform/text/ansi_text.h"
#include "platform/text/code_page.h"
#include "platform/text/utf8.h"

namespace {

constexpr int kUtf8CodePage = 65001;

// A letter or digit, or a non-spacing mark so that words of scripts written
// with marks stay whole. Characters beyond the BMP are no letters here.
bool IsWordChar(char32_t c) {
  if (c > 0xFFFF) return false;
  const auto unit = static_cast<wchar_t>(c);
  if (IsCharAlphaNumericW(unit)) return true;
  WORD type = 0;
  return GetStringTypeW(CT_CTYPE3, &unit, 1, &type) && (type & C3_NONSPACING) != 0;
}

bool IsPrivateUse(wchar_t c) { return c >= 0xE000 && c <= 0xF8FF; }

// Fills the upper half of the table. A byte the code page leaves undefined
// (rejected, or given a private-use character) keeps the character of its
// own value and is no letter.
void FillSingleByte(int codePage, ansi_detail::ByteTable& table) {
  for (int b = 0x80; b < 0x100; ++b) {
    const char in = static_cast<char>(b);
    wchar_t out[2];
    const int length = MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS,
                                           &in, 1, out, 2);
    if (length != 1 || IsPrivateUse(out[0])) {
      table.wide[b] = static_cast<char16_t>(b);
      continue;
    }
    table.wide[b] = static_cast<char16_t>(out[0]);
    table.wordByte[b] = IsWordChar(out[0]);
  }
}

void Build(int codePage, ansi_detail::ByteTable& table) {
  table = ansi_detail::ByteTable{};
  for (int b = 0; b < 0x80; ++b) {
    table.wide[b] = static_cast<char16_t>(b);
    table.wordByte[b] = IsWordChar(static_cast<char32_t>(b));
  }
  table.utf8 = codePage == kUtf8CodePage;
  if (!table.utf8) FillSingleByte(codePage, table);
}

// The start of a well-formed sequence that the end of text has cut short.
bool IsCutCharacter(std::string_view text, std::size_t pos, std::size_t length) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  return pos + length == text.size() && lead >= 0xC2 && lead <= 0xF4;
}

std::u16string Utf8ToWide(std::string_view text, bool dropCutTail) {
  std::u16string wide;
  wide.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    char32_t c;
    const std::size_t length = DecodeUtf8(text, pos, &c);
    if (c == kIllFormed) {
      if (dropCutTail && IsCutCharacter(text, pos, length)) break;
      c = 0xFFFD;
    }
    AppendUtf16(wide, c);
    pos += length;
  }
  return wide;
}

std::u16string Convert(std::string_view bytes, bool dropCutTail) {
  const ansi_detail::ByteTable& table = ansi_detail::CurrentTable();
  if (table.utf8) return Utf8ToWide(bytes, dropCutTail);
  std::u16string wide(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    wide[i] = table.wide[static_cast<unsigned char>(bytes[i])];
  }
  return wide;
}

}  // namespace

std::u16string AnsiToWide(std::string_view bytes) { return Convert(bytes, false); }

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
