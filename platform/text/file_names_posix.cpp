// Linux paths: '/' alone separates levels.
#include "platform/text/file_names.h"

const std::u16string_view kPathSeparators = u"/";

bool IsPlainFileName(const std::u16string& name) {
  return !name.empty() && name != u"." && name != u".." &&
         name.find_first_of(std::u16string_view(u"/\0", 2)) == std::u16string::npos;
}
