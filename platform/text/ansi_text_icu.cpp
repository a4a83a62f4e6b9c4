// What a character is with ICU: its properties say what is a letter, its
// converters give the single-byte tables.
#include "platform/text/ansi_text.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>

#include <memory>

namespace {

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

}  // namespace

namespace ansi_detail {

bool IsWordChar(char32_t c) {
  const auto code = static_cast<UChar32>(c);
  return u_hasBinaryProperty(code, UCHAR_ALPHABETIC) || u_isdigit(code) ||
         (U_GET_GC_MASK(code) & U_GC_M_MASK) != 0;
}

// Fills the upper half of the table from ICU's table for codePage. A byte
// ICU cannot map, or gives a private-use character (874's DB..DE, FC..FF),
// keeps the character of its own value and is no letter, as on Windows; a
// code page ICU does not know leaves every byte so.
void FillSingleByte(int codePage, ByteTable& table) {
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
    if (U_FAILURE(error) || length != 1 || (out[0] >= 0xE000 && out[0] <= 0xF8FF)) continue;
    table.wide[b] = out[0];
    table.wordByte[b] = IsWordChar(out[0]);
  }
}

}  // namespace ansi_detail
