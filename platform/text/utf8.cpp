#include "platform/text/utf8.h"

namespace {

bool InRange(unsigned char b, unsigned char low, unsigned char high) {
  return b >= low && b <= high;
}

}  // namespace

std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t* c) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const std::size_t left = text.size() - pos;
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    *c = lead;
    return 1;
  }
  std::size_t length;
  unsigned char low = 0x80;  // the range of the second byte; later ones are 80..BF
  unsigned char high = 0xBF;
  if (InRange(lead, 0xC2, 0xDF)) {
    length = 2;
  } else if (InRange(lead, 0xE0, 0xEF)) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (InRange(lead, 0xF0, 0xF4)) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    *c = kIllFormed;
    return 1;
  }
  char32_t value = lead & (0xFF >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) {
    if (i >= left || !InRange(byte(i), i == 1 ? low : 0x80, i == 1 ? high : 0xBF)) {
      *c = kIllFormed;
      return i;
    }
    value = (value << 6) | (byte(i) & 0x3F);
  }
  *c = value;
  return length;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    out.push_back(static_cast<char16_t>(0xD7C0 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
  }
}
