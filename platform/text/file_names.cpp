#include "platform/text/file_names.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <string_view>

namespace {

constexpr char16_t kEscapeBase = 0xDC80;  // U+DC80 + (byte - 0x80)

void AppendUtf8(std::string& out, UChar32 c) {
  char buf[U8_MAX_LENGTH];
  int32_t len = 0;
  U8_APPEND_UNSAFE(buf, len, c);
  out.append(buf, static_cast<std::size_t>(len));
}

}  // namespace

std::u16string FromNativeName(const std::string& bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
  const auto length = static_cast<int32_t>(bytes.size());
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) {
      // Ill-formed: escape each byte of the bad sequence on its own, so the
      // exact bytes come back on the way out.
      for (int32_t j = start; j < i; ++j) {
        out.push_back(static_cast<char16_t>(kEscapeBase + (s[j] - 0x80)));
      }
    } else if (c >= 0x10000) {
      out.push_back(U16_LEAD(c));
      out.push_back(U16_TRAIL(c));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string ToNativeName(const std::u16string& name) {
  std::string out;
  out.reserve(name.size());
  const std::size_t length = name.size();
  for (std::size_t i = 0; i < length; ++i) {
    const char16_t u = name[i];
    if (U16_IS_LEAD(u) && i + 1 < length && U16_IS_TRAIL(name[i + 1])) {
      AppendUtf8(out, U16_GET_SUPPLEMENTARY(u, name[i + 1]));
      ++i;
    } else if (u >= kEscapeBase && u <= 0xDCFF) {
      out.push_back(static_cast<char>(u - kEscapeBase + 0x80));
    } else if (U16_IS_SURROGATE(u)) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

const std::u16string_view kPathSeparators = u"/";

bool IsPlainFileName(const std::u16string& name) {
  return !name.empty() && name != u"." && name != u".." &&
         name.find_first_of(std::u16string_view(u"/\0", 2)) == std::u16string::npos;
}
