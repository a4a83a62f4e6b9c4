#pragma once
// The ANSI code page in which note bytes are read: the setting
// SCRIBLET_CODEPAGE, otherwise the code page of the locale's charset.
// Supported: 874, 1250 to 1258, 866 and 65001 (UTF-8).

#include <optional>
#include <string>

// The code page in force. 1252 until start-up sets it.
int AnsiCodePage();
void SetAnsiCodePage(int codePage);

// Reads a code page given as a number ("1251") or a charset name ("UTF-8",
// "CP1251", "windows-1251", "IBM866"). Nothing when it is none of the
// supported ones.
std::optional<int> ParseCodePage(const std::string& text);
