#pragma once
// The one lower-casing the program uses: for the mode token, for index words
// and for queries, so that a query typed in any case meets the index words.

#include <string>

// In the C mode only A to Z are lowered; in the user mode every character
// is lowered by Unicode simple lower-case mapping (Cyrillic included).
void LowerCaseInPlace(std::u16string& text);

// text with each UTF-16 code unit upper-cased on its own, whatever the
// user's language and the mode above, as a Windows file system compares
// names. Surrogates stay as they are.
std::u16string UpperCaseUnits(std::u16string text);

bool UserLowerCase();
void SetUserLowerCase(bool on);

// The system's part: text lowered by the user locale's mapping, which
// never changes its length. False, with text as it was, when the system
// could not map it.
bool LowerCaseUserInPlace(std::u16string& text);
