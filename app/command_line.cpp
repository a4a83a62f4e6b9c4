#include "app/command_line.h"

#include <unicode/uchar.h>

#include <algorithm>

namespace {

// The C runtime's wide space class: tab to carriage return, space, no-break
// space, and above U+00FF whatever Unicode calls white space.
bool IsWideSpace(char16_t c) {
  if ((c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0xA0) return true;
  return c > 0xFF && u_isUWhiteSpace(c);
}

// Takes the next space-delimited token from pos; empty at the end of text.
std::u16string NextToken(const std::u16string& text, std::size_t& pos) {
  while (pos < text.size() && text[pos] == u' ') ++pos;
  if (pos >= text.size()) return {};
  const std::size_t end = std::min(text.find(u' ', pos), text.size());
  std::u16string token = text.substr(pos, end - pos);
  pos = end + 1;
  return token;
}

}  // namespace

std::u16string ArgumentText(const std::vector<std::u16string>& arguments) {
  std::u16string text;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) text.push_back(u' ');
    text += arguments[i];
  }
  std::size_t begin = 0;
  while (begin < text.size() && text[begin] <= u' ') ++begin;
  std::size_t end = text.size();
  while (end > begin && IsWideSpace(text[end - 1])) --end;
  while (begin < end && IsWideSpace(text[begin])) ++begin;
  return text.substr(begin, end - begin);
}

CommandLine ParseCommandLine(const std::u16string& argumentText) {
  CommandLine line;
  std::size_t pos = 0;
  line.mode = NextToken(argumentText, pos);
  if (!line.mode.empty()) line.folder = NextToken(argumentText, pos);
  return line;
}
