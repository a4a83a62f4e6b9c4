// The names' encoding, alike on every system; the path rules are the
// system's part (file_names_posix.cpp, file_names_windows.cpp).
#include "platform/text/file_names.h"

#include "platform/text/utf8.h"

#include <string_view>

namespace {

constexpr char16_t kEscapeBase = 0xDC80;  // U+DC80 + (byte - 0x80)

bool IsLead(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsTrail(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::u16string FromNativeName(std::string_view bytes) {
  std::u16string out;
  AssignNativeName(out, bytes);
  return out;
}

void AssignNativeName(std::u16string& out, std::string_view bytes) {
  // No byte gives more than one unit (four bytes give two), so the units
  // are written in place and the rest is cut off after.
  out.resize(bytes.size());
  char16_t* const begin = out.data();
  char16_t* to = begin;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    // Most names are ASCII, and most others are letters of two bytes
    // (Cyrillic, Greek, accented Latin), which need no general decoding.
    if (lead < 0x80) {
      *to++ = lead;
      ++i;
      continue;
    }
    if (lead >= 0xC2 && lead <= 0xDF && i + 1 < bytes.size()) {
      const auto trail = static_cast<unsigned char>(bytes[i + 1]);
      if (trail >= 0x80 && trail <= 0xBF) {
        *to++ = static_cast<char16_t>((lead & 0x1F) << 6 | (trail & 0x3F));
        i += 2;
        continue;
      }
    }
    char32_t c;
    const std::size_t length = DecodeUtf8(bytes, i, &c);
    if (c == kIllFormed) {
      for (std::size_t j = i; j < i + length; ++j) {
        *to++ = static_cast<char16_t>(kEscapeBase + (static_cast<unsigned char>(bytes[j]) - 0x80));
      }
    } else if (c >= 0x10000) {
      *to++ = static_cast<char16_t>(0xD7C0 + (c >> 10));
      *to++ = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    } else {
      *to++ = static_cast<char16_t>(c);
    }
    i += length;
  }
  out.resize(static_cast<std::size_t>(to - begin));
}

std::string ToNativeName(const std::u16string& name) {
  std::string out;
  out.reserve(name.size());
  const std::size_t length = name.size();
  for (std::size_t i = 0; i < length; ++i) {
    const char16_t u = name[i];
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (IsLead(u) && i + 1 < length && IsTrail(name[i + 1])) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (name[i + 1] - 0xDC00));
      ++i;
    } else if (u >= kEscapeBase && u <= 0xDCFF) {
      out.push_back(static_cast<char>(u - kEscapeBase + 0x80));
    } else if (IsLead(u) || IsTrail(u)) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}
