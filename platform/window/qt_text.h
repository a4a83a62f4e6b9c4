#pragma once
// Wide strings to and from QString, code unit for code unit. Private to the
// Qt realisation of the platform layer.
//
// QString::fromUtf16 is not a copy: it drops a leading U+FEFF and byte-swaps
// the whole text after a leading U+FFFE, so a note named or starting that
// way would be listed, previewed or opened as another one.

#include <QString>
#include <QStringView>
#include <string>
#include <string_view>

inline QString ToQString(std::u16string_view text) { return QStringView(text).toString(); }

inline std::u16string ToU16(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                        static_cast<std::size_t>(text.size()));
}
