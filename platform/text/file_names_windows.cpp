// Windows paths: a backslash or '/' separates levels, ':' names a drive
// or a stream.
#include "platform/text/file_names.h"

const std::u16string_view kPathSeparators = u"\\/";

bool IsPlainFileName(const std::u16string& name) {
  return !name.empty() && name != u"." && name != u".." &&
         name.find_first_of(std::u16string_view(u"/\\:\0", 4)) == std::u16string::npos;
}
