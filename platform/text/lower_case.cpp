// The lower-casing mode and the C mode's lowering, alike on every system;
// the user mode's mapping is the system's (lower_case_icu.cpp,
// lower_case_windows.cpp).
#include "platform/text/lower_case.h"

namespace {

bool g_userLowerCase = false;

void LowerAsciiInPlace(std::u16string& text) {
  for (char16_t& c : text) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
  }
}

}  // namespace

bool UserLowerCase() { return g_userLowerCase; }

void SetUserLowerCase(bool on) { g_userLowerCase = on; }

void LowerCaseInPlace(std::u16string& text) {
  if (!g_userLowerCase || !LowerCaseUserInPlace(text)) LowerAsciiInPlace(text);
}
