// What a character is on Windows: the single-byte tables come from
// MultiByteToWideChar, letters and digits from IsCharAlphaNumericW. UTF-8
// is not left to MultiByteToWideChar, whose handling of ill-formed bytes
// differs between Windows versions (see ansi_text.cpp).
#include "platform/os/windows_api.h"

#include "platform/text/ansi_text.h"

namespace {

bool IsPrivateUse(wchar_t c) { return c >= 0xE000 && c <= 0xF8FF; }

// A double-byte code page through the system, as Windows reads any text in
// it. A lead byte that ends the text is a character cut short.
std::u16string DoubleByteToWide(int codePage, std::string_view bytes, bool dropCutTail) {
  const auto page = static_cast<UINT>(codePage);
  if (dropCutTail) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
      if (!IsDBCSLeadByteEx(page, static_cast<BYTE>(bytes[pos]))) {
        ++pos;
      } else if (pos + 1 < bytes.size()) {
        pos += 2;
      } else {
        bytes.remove_suffix(1);
      }
    }
  }
  if (bytes.empty()) return {};
  // A character never takes more units than bytes.
  std::u16string wide(bytes.size(), u'\0');
  const int length = MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()),
                                         reinterpret_cast<wchar_t*>(wide.data()),
                                         static_cast<int>(wide.size()));
  wide.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return wide;
}

}  // namespace

namespace ansi_detail {

// A letter or digit, or a non-spacing mark so that words of scripts written
// with marks stay whole. Characters beyond the BMP are no letters here.
bool IsWordChar(char32_t c) {
  if (c > 0xFFFF) return false;
  const auto unit = static_cast<wchar_t>(c);
  if (IsCharAlphaNumericW(unit)) return true;
  WORD type = 0;
  return GetStringTypeW(CT_CTYPE3, &unit, 1, &type) && (type & C3_NONSPACING) != 0;
}

// Fills the upper half of the table. A byte the code page leaves undefined
// (rejected, or given a private-use character) keeps the character of its
// own value and is no letter.
void FillSingleByte(int codePage, ByteTable& table) {
  CPINFO info{};
  if (GetCPInfo(static_cast<UINT>(codePage), &info) && info.MaxCharSize > 1) {
    table.multiByteToWide = &DoubleByteToWide;
  }
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

}  // namespace ansi_detail
