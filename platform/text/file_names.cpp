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
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    // Most names are ASCII: their bytes are their code units.
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      out.push_back(static_cast<char16_t>(bytes[i++]));
      continue;
    }
    char32_t c;
    const std::size_t length = DecodeUtf8(bytes, i, &c);
    if (c == kIllFormed) {
      for (std::size_t j = i; j < i + length; ++j) {
        out.push_back(static_cast<char16_t>(kEscapeBase + (static_cast<unsigned char>(bytes[j]) - 0x80)));
      }
    } else {
      AppendUtf16(out, c);
    }
    i += length;
  }
  return out;
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
