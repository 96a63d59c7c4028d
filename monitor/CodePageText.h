// Wide text in the system's 8-bit code page, for the log file and standard output.
#pragma once
#include <windows.h>

#include <string>

std::string CodePageText(const std::u16string& text);

// Control characters shown as visible escapes ("\r", "\n", "\xNN"), so that no text can start a
// line of its own in the log; other text unchanged.
std::u16string EscapeControlCharacters(const std::u16string& text);
