#include "platform/text/ansi_text.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <memory>

#include "platform/text/code_page.h"

namespace {

constexpr int kUtf8CodePage = 65001;

bool IsWordChar(UChar32 c) {
  return u_hasBinaryProperty(c, UCHAR_ALPHABETIC) || u_isdigit(c) ||
         (U_GET_GC_MASK(c) & U_GC_M_MASK) != 0;
}

const char* IcuConverterName(int codePage) {
  switch (codePage) {
    case 866: return "ibm-866";
    case 874: return "windows-874";
    case 1250: return "windows-1250";
    case 1251: return "windows-1251";
    case 1252: return "windows-1252";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1255: return "windows-1255";
    case 1256: return "windows-1256";
    case 1257: return "windows-1257";
    case 1258: return "windows-1258";
    default: return nullptr;
  }
}

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};

// Fills the upper half of the table from ICU's table for codePage. A byte
// ICU cannot map keeps the character of its own value and is no letter;
// a code page ICU does not know leaves every byte so.
void FillSingleByte(int codePage, ansi_detail::ByteTable& table) {
  for (int b = 0x80; b < 0x100; ++b) table.wide[b] = static_cast<char16_t>(b);
  const char* name = IcuConverterName(codePage);
  if (name == nullptr) return;
  UErrorCode error = U_ZERO_ERROR;
  std::unique_ptr<UConverter, ConverterCloser> converter(ucnv_open(name, &error));
  if (U_FAILURE(error)) return;
  // Stop instead of substituting, so that undefined bytes are recognised.
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                      &error);
  if (U_FAILURE(error)) return;
  for (int b = 0x80; b < 0x100; ++b) {
    const char in = static_cast<char>(b);
    UChar out[2];
    error = U_ZERO_ERROR;
    ucnv_reset(converter.get());
    const int32_t length = ucnv_toUChars(converter.get(), out, 2, &in, 1, &error);
    if (U_FAILURE(error) || length != 1) continue;
    table.wide[b] = out[0];
    table.wordByte[b] = IsWordChar(out[0]);
  }
}

void Build(int codePage, ansi_detail::ByteTable& table) {
  table = ansi_detail::ByteTable{};
  // The lower half is ASCII in every supported code page. ICU's IBM 866
  // table swaps three control bytes (1A, 1C, 7F); Windows does not.
  for (int b = 0; b < 0x80; ++b) {
    table.wide[b] = static_cast<char16_t>(b);
    table.wordByte[b] = IsWordChar(b);
  }
  table.utf8 = codePage == kUtf8CodePage;
  if (!table.utf8) FillSingleByte(codePage, table);
}

// Decodes the character or ill-formed subsequence at text[pos]; *c is
// negative for an ill-formed one. Returns its length in bytes.
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, UChar32* c) {
  // No character is longer than 4 bytes; a window keeps the index in int32.
  const int32_t window = static_cast<int32_t>(std::min<std::size_t>(text.size() - pos, 4));
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data() + pos);
  int32_t i = 0;
  U8_NEXT(bytes, i, window, *c);
  return static_cast<std::size_t>(i);
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
    UChar32 c;
    const std::size_t length = DecodeUtf8(text, pos, &c);
    if (c < 0) {
      if (dropCutTail && IsCutCharacter(text, pos, length)) break;
      c = 0xFFFD;
    }
    if (U16_LENGTH(c) == 1) {
      wide.push_back(static_cast<char16_t>(c));
    } else {
      wide.push_back(U16_LEAD(c));
      wide.push_back(U16_TRAIL(c));
    }
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
  UChar32 c;
  const std::size_t length = DecodeUtf8(text, pos, &c);
  *wordChar = c >= 0 && IsWordChar(c);
  return length;
}

}  // namespace ansi_detail
